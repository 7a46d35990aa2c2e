#pragma once

#include "monitor/TrafficListing.h"

#include <cstdint>
#include <string>

namespace xlt::monitor {

/// The decoded line of one ID003 frame of the host port.
///
/// `frame` holds the frame from its sync byte 0xFC at index 0; byte 1 is LNG, the length of the
/// whole frame with sync and CRC, byte 2 the host's command code (tag 0xAA) or the device's
/// status or response code (tag 0xCA), bytes 3 to LNG-3 the data. Other tags give an empty
/// line. With LNG below 6 there is no data part (LNG below 4 included). Hexadecimal numbers are
/// uppercase without a leading zero. Every read lies inside the frame (LNG is at most 255).
/// Pure; never fails.
std::string DecodeID003(const WorkingFrame &frame, std::uint8_t tag);

} // namespace xlt::monitor
