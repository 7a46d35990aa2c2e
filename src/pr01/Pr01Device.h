#pragma once

// The PR01 window's device procedures, window-free: the firmware check made before every
// exchange, reading the configuration and writing it. Each runs on the line inside an
// operation (link/Operation.h) and tells the user through it; a result that is false or empty
// has already told the user what there was to tell.

#include "ConfigBlock.h"
#include "link/Operation.h"

#include <cstdint>
#include <optional>
#include <string>

namespace xlt::pr01 {

/// The names under which a read and a write hold the device.
inline const std::string kReadHolder = "PR01 configuration read";
inline const std::string kWriteHolder = "PR01 configuration write";

/// Finds the device (FindXLTPort; "No XLT device detected" when none), sets CmdPacket up for
/// its port, reads its identity (command 16) and accepts firmware whose identity text
/// (ReplyLength bytes of ReplyData) begins with "PR01" or "ID003", case-sensitive. Otherwise
/// "XLT Firmware " + identity + " is not PR01 compatable." On true the port is closed and
/// the flow's CmdPacket holds the port, 9600 baud and 3000 ms.
bool CheckPR01Device(link::Flow &flow);

/// The configuration as the device holds it: the boxes' texts and the host drive byte.
struct Pr01Reading
{
    Pr01Texts texts;
    std::uint8_t hostDrive = 0; ///< byte 112, which the configuration window does not show
};

/// The text that refuses a configuration reply shorter than the block (stale bytes of earlier
/// replies are never taken into a configuration).
std::string shortConfigReplyMessage(std::size_t length);

/// Checks the device, reads the block (command 17) and decodes it. Nothing when any step
/// failed or the reply was short.
std::optional<Pr01Reading> readPr01Configuration(link::Flow &flow);

/// Checks the device, reads its block (command 17) and sends `block` (command 18) with byte
/// 112 as the device has it at that moment: a configuration write never changes the host
/// drive option, whatever was written since the window last read. On success shows
/// "XLT PR01 configuration successfully save to XLT memory".
bool writePr01Configuration(link::Flow &flow, const ConfigBlock &block);

/// The configuration window's and xltctl's write of the boxes: refuses texts that do not fit
/// the block (told; nothing is sent, false), otherwise starts writePr01Configuration as
/// `operation` holding the device as kWriteHolder; `done` gets its result.
bool startPr01Write(link::Operation &operation, core::Notifier &notifier, const Pr01Texts &boxes,
                    std::function<void(bool ok)> done);

} // namespace xlt::pr01
