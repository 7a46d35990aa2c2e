#pragma once

// Port discovery: the system's serial ports as a table of texts ("COM5 (BV)") and the port of
// the device, the last one labelled " (BV)" (a USB serial port).

#include "PortSource.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xlt::link {

class Flow;

constexpr std::size_t kMaxListedPorts = 100;
using SerialPortTable = std::array<std::string, kMaxListedPorts>;

/// The entry of one port: its port name followed by the family label of its device object
/// name (case-sensitive prefix): "\Device\VCP" " (KV4)", "\Device\USBSER" " (BV)",
/// "\Device\slabser" " (Hopper)", otherwise none.
std::string serialPortEntry(const PortRecord &record);

/// Fills `table` from index 0 in the source's order and sets `count` (0 first). At most 100
/// entries: ports beyond the hundredth are left out. A port whose object name exceeds 254
/// characters or whose port name exceeds 254 bytes does not fit the system's buffers and is
/// skipped.
void ListSerialPorts(PortSource &source, SerialPortTable &table, std::int16_t &count);

/// What every window and command tells when FindXLTPort finds no device.
inline constexpr const char *kNoDeviceText = "No XLT device detected";

/// The COM number of the last port whose entry ends in "(BV)" (any case), among all ports,
/// also those beyond the hundredth. An entry whose number is not a usable port number (1 to
/// 255, the range of XLTPacket::PortNumber) is never chosen. 0 when there is none. No message.
std::uint16_t FindXLTPort(PortSource &source);

/// The COM number of one port when FindXLTPort could choose it (its entry ends in "(BV)" and
/// its number is usable), otherwise 0.
std::uint16_t devicePortNumber(const PortRecord &record);

/// The port `portNumber` of the source as the tool names it to the user: "COM<n> (<device
/// node>)", for example "COM129 (/dev/pts/5)" or "COM65 (/dev/ttyACM0)"; "COM<n>" alone when
/// the source lists no such port. Device nodes are shown as the system gives them, with
/// control bytes written as \xNN.
std::string describePort(PortSource &source, std::uint16_t portNumber);
/// One listed port named as describePort names it: "COM65 (/dev/ttyACM0)", or the port name
/// alone when it has no device path.
std::string describePort(const PortRecord &record);

/// FindXLTPort over the operation's port source: stores the result in the flow's XLTPortNumber
/// and, when it is not 0, sets PortNumber, BaudRate 9600 and Timeout 3000 in its CmdPacket.
/// Returns the result.
std::uint16_t FindXLTPort(Flow &flow);

} // namespace xlt::link
