#include "Identity.h"

#include "XLT_protocol.h"

#include <algorithm>

namespace xlt::link {

namespace {

/// The characters of bytes [from, from + count) that `bytes` holds.
std::string characters(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t count)
{
    if (from >= bytes.size())
        return {};
    const std::size_t available = std::min(count, bytes.size() - from);
    const auto field = bytes.subspan(from, available);
    return std::string(field.begin(), field.end());
}

} // namespace

Identity parseIdentity(std::span<const std::uint8_t> bytes, FirmwareStyle style)
{
    Identity identity;
    identity.interfaceCode = link::ProtocolNameToCode(characters(bytes, 0, 4));
    if (style == FirmwareStyle::WithPoint)
        identity.firmware = characters(bytes, 5, 2) + "." + characters(bytes, 7, 2);
    else
        identity.firmware = characters(bytes, 5, 4);
    identity.modNumber = characters(bytes, 9, 4);
    return identity;
}

std::optional<Identity> readDeviceIdentity(Flow &flow, FirmwareStyle style)
{
    if (!ReadXLTVersion(flow, flow.CmdPacket))
        return std::nullopt;
    const XLTPacket &reply = flow.CmdPacket;
    return parseIdentity(std::span(reply.ReplyData, reply.ReplyLength), style);
}

std::vector<std::string> fileIdentityLines(const Identity &identity)
{
    return {kRule, " File interface version:     " + identity.interfaceCode,
            " File firmware version:      " + identity.firmware,
            " File mod number:            " + identity.modNumber};
}

std::vector<std::string> targetIdentityLines(const Identity &identity)
{
    return {kRule, " Target XLT Interface:   " + identity.interfaceCode,
            " Target XLT firmware:    " + identity.firmware,
            " Target mod number:      " + identity.modNumber, kRule};
}

} // namespace xlt::link
