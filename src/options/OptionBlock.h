#pragma once

#include "link/XLT_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace xlt::link {
struct DeviceContext;
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
inline const std::string kNoDeviceText = "No XLT device detected on USB";
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

// Each request below runs on the context's line and reports through `done`.

/// Looks for the device (XLTPortNumber and CmdPacket's port settings are set as a side
/// effect); tells the user kNoDeviceText when there is none; reads the identity with command
/// 16 and gives its five lines, the firmware version as its four characters.
void readTargetInfo(link::DeviceContext &context, std::function<void(TargetInfo)> done);

/// Command 17 on the context's CmdPacket. Nothing when the exchange failed (already told, or
/// silent when the port did not open) or when the reply is shorter than 128 bytes (told with
/// shortReplyMessage): stale bytes of earlier replies are never taken into the block.
void readOptionBlock(link::DeviceContext &context,
                     std::function<void(std::optional<OptionBlock>)> done);

/// Command 18 carrying `block`, with the port settings already in CmdPacket.
void writeOptionBlock(link::DeviceContext &context, const OptionBlock &block,
                      std::function<void(bool ok)> done);

} // namespace xlt::options
