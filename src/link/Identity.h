#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xlt::link {

class Flow;

/// The three identity fields of a firmware, as the windows show them.
struct Identity
{
    std::string interfaceCode; ///< four characters, passed through ProtocolNameToCode
    std::string firmware;      ///< "01.23" (WithPoint) or "0123" (AsIs)
    std::string modNumber;     ///< four characters
};

enum class FirmwareStyle {
    WithPoint, ///< the update window: a "." after the second character
    AsIs       ///< the options window: the four characters as they come
};

/// Reads the fields from bytes in the layout of the identity text: 0-3 interface, 4 not read,
/// 5-8 firmware version, 9-12 mod number. Each byte is one character, zero bytes included.
/// Bytes beyond the end of `bytes` are missing, not taken from elsewhere: a short input gives
/// shorter (possibly empty) fields, so a short reply never shows bytes of an earlier one.
Identity parseIdentity(std::span<const std::uint8_t> bytes, FirmwareStyle style);

/// Reads the connected device's identity with command 16 on the flow's CmdPacket (whose port
/// settings must already be set) and parses ReplyData[0..ReplyLength). Nothing when the
/// exchange failed (RunXLTCommand has told the user, or the port did not open: silent).
std::optional<Identity> readDeviceIdentity(Flow &flow, FirmwareStyle style);

/// 48 hyphens, the rule above and below the identity lines.
inline const std::string kRule(48, '-');

/// The four panel lines of an update file: the rule and the three " File ..." lines.
std::vector<std::string> fileIdentityLines(const Identity &identity);

/// The five panel lines of the connected device: the rule, the three " Target ..." lines and
/// the rule again.
std::vector<std::string> targetIdentityLines(const Identity &identity);

} // namespace xlt::link
