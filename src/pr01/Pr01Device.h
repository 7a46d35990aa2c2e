#pragma once

// The PR01 window's exchanges with the device, window-free: the firmware check made before
// every exchange, reading the configuration and writing it. Messages go to the context's
// notifier; every request whose result is false or empty has already told the user what there
// was to tell. Each runs on the context's line and reports through `done` (at once on a line
// that runs at once, later on a worker line); while it runs it holds the device.

#include "ConfigBlock.h"
#include "link/DeviceContext.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace xlt::pr01 {

/// Finds the device (FindXLTPort; "No XLT device detected" when none), sets CmdPacket up for
/// its port, reads its identity (command 16) and accepts firmware whose identity text
/// (ReplyLength bytes of ReplyData) begins with "PR01" or "ID003", case-sensitive. Otherwise
/// "XLT Firmware " + identity + " is not PR01 compatable." On true the port is closed and
/// CmdPacket holds the port, 9600 baud and 3000 ms.
void CheckPR01Device(link::DeviceContext &context, std::function<void(bool ok)> done);

/// The configuration as the device holds it: the boxes' texts and the host drive byte.
struct Pr01Reading
{
    Pr01Texts texts;
    std::uint8_t hostDrive = 0; ///< byte 112, which the configuration window does not show
};

/// The text that refuses a configuration reply shorter than the block (stale bytes of earlier
/// replies are never taken into a configuration).
std::string shortConfigReplyMessage(std::size_t length);

/// Refuses while another window holds the device, checks the device, reads the block
/// (command 17) and decodes it. Nothing when any step failed or the reply was short.
void readPr01Configuration(link::DeviceContext &context,
                           std::function<void(std::optional<Pr01Reading>)> done);

/// Refuses while another window holds the device, refuses texts that do not fit the block
/// (see encodeConfigBlock; nothing is sent), checks the device and sends the block (command
/// 18) with byte 112 set to `hostDrive`; without one, the block is read first and the device's
/// own byte 112 is kept, so a configuration write never changes the host drive option. On
/// success shows "XLT PR01 configuration successfully save to XLT memory".
void writePr01Configuration(link::DeviceContext &context, const Pr01Texts &boxes,
                            std::optional<std::uint8_t> hostDrive,
                            std::function<void(bool ok)> done);

} // namespace xlt::pr01
