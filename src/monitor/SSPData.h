#pragma once

#include "monitor/TrafficListing.h"

#include <cstdint>
#include <string>

namespace xlt::monitor {

/// The decoded line of one SSP frame of the target port.
///
/// `frame` holds the frame from its start byte 0x7F at index 0; byte 2 is LEN, the number of
/// data bytes, byte 3 the command code (tag 0x35, a command the device sent) or the generic
/// response code (tag 0x55, a response it received), bytes 4 to LEN+2 the parameters or events.
/// Other tags give an empty line. Hexadecimal numbers are uppercase without a leading zero,
/// channels are decimal. A position that LEN places beyond the 256-byte frame reads 0, like any
/// position past the captured bytes. Pure; never fails.
std::string DecodeSSP(const WorkingFrame &frame, std::uint8_t tag);

} // namespace xlt::monitor
