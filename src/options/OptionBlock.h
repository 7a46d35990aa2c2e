#pragma once

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xlt::link {
class Flow;
}

namespace xlt::options {

/// The device's 128-byte configuration block (commands 17 and 18) as last read. The options
/// change byte 112, the host drive option, and write every other byte back as read.
using OptionBlock = std::array<std::uint8_t, link::kConfigBlockSize>;
constexpr std::size_t kHostDriveOffset = 112;

/// The host drive mode; the value is the index of the option button (opLevel 0 and 1).
enum class HostDrive { TtlRs232 = 0, OptoIsolated = 1 };

inline const std::string kTtlCaption = "Host Drive TTL RS232";
inline const std::string kOptoCaption = "Host Drive Opto Isolated";
inline const std::string kNoDeviceText = std::string(link::kNoDeviceText) + " on USB";
inline const std::string kSavedText =
    "XLT Option configuration successfully save to XLT memory. Please reset the power to XLT "
    "to make changes active.";

/// Byte 112 as read: 0 is TTL RS232, anything else opto isolated.
HostDrive hostDriveOf(const OptionBlock &block);
/// The byte written for a mode: 0 for TTL RS232, 255 for opto isolated.
std::uint8_t hostDriveByte(HostDrive drive);
/// `block` with byte 112 set for `drive`, all other bytes unchanged.
OptionBlock withHostDrive(OptionBlock block, HostDrive drive);

/// The refusal of a configuration reply shorter than the block.
std::string shortReplyMessage(std::size_t length);

/// What ShowTargetInfo found: whether a device port was found at all, and the identity lines to
/// print (none when the device did not answer command 16).
struct TargetInfo
{
    bool portFound = false;
    std::vector<std::string> lines;
};

// The procedures below run on the line inside an operation (link/Operation.h).

/// Looks for the device (the flow's XLTPortNumber and CmdPacket's port settings are set as a
/// side effect); tells the user kNoDeviceText when there is none; reads the identity with
/// command 16 and gives its five lines, the firmware version as its four characters.
TargetInfo readTargetInfo(link::Flow &flow);

/// Command 17 on the flow's CmdPacket. Nothing when the exchange failed (already told, or
/// silent when the port did not open) or when the reply is shorter than 128 bytes (told with
/// shortReplyMessage): stale bytes of earlier replies are never taken into the block.
std::optional<OptionBlock> readOptionBlock(link::Flow &flow);

/// What the options window and xltctl read when they open: the identity, and the block when a
/// device port was found.
struct OptionsReading
{
    TargetInfo info;
    std::optional<OptionBlock> block;
    std::uint8_t port = 0; ///< the port the device was found on (0: none)
};
OptionsReading readOptions(link::Flow &flow);

/// Sets the host drive option on the device at `port` (the one found when the options were
/// read; it is not searched for again): reads the block (command 17) and writes it back
/// (command 18) with byte 112 for `drive` and every other byte as just read, so a
/// configuration written since the options were read is kept. The block written, or nothing
/// when an exchange failed (told).
std::optional<OptionBlock> writeHostDrive(link::Flow &flow, std::uint8_t port, HostDrive drive);

/// The name under which the options hold the device.
inline const std::string kHolderName = "options window";

} // namespace xlt::options
