#include "XLT_protocol.h"

#include <algorithm>
#include <array>
#include <utility>

namespace xlt::link {

std::string ReplyStatusText(std::uint8_t code)
{
    static constexpr std::array<const char *, 6> kWords = {
        "COM PORT CLOSED", "COM PORT OPEN", "PORT ERROR",
        "REPLY OK",        "PACKET ERROR",  "COMMAND TIME_OUT",
    };
    return code < kWords.size() ? kWords[code] : "";
}

namespace {

void setCommand(XLTPacket &packet, std::uint8_t code)
{
    packet.CommandLength = 1;
    packet.CommandData[0] = code;
}

void setConfig(XLTPacket &packet, std::span<const std::uint8_t, kConfigBlockSize> config)
{
    packet.CommandLength = 1 + kConfigBlockSize;
    packet.CommandData[0] = kCmdWriteConfig;
    std::copy(config.begin(), config.end(), packet.CommandData + 1);
}

/// Block k carries image bytes 128 * (k + 1) .. 128 * (k + 2) - 1. False, with the record
/// untouched, when the image does not hold that block.
bool setUpdateBlock(XLTPacket &packet, std::span<const std::uint8_t> image, std::uint16_t block)
{
    const std::size_t first = kUpdateBlockSize * (std::size_t{block} + 1);
    if (image.size() < first + kUpdateBlockSize)
        return false;
    const auto bytes = image.subspan(first, kUpdateBlockSize);
    packet.CommandLength = 3 + kUpdateBlockSize;
    packet.CommandData[0] = kCmdUpdateBlock;
    packet.CommandData[1] = static_cast<std::uint8_t>(block % 256);
    packet.CommandData[2] = static_cast<std::uint8_t>(block / 256);
    std::copy(bytes.begin(), bytes.end(), packet.CommandData + 3);
    return true;
}

} // namespace

std::int16_t OpenXLTComPort(Flow &flow, XLTPacket &packet)
{
    if (flow.cancelled())
        return 0;
    if (flow.link.OpenXLTComPort(packet) != 0)
        return 1;
    if (std::string why = flow.link.openFailureText(); !why.empty())
        flow.tell(core::Icon::Exclamation, std::move(why));
    return 0;
}

void CloseXLTComPort(Flow &flow)
{
    flow.link.CloseXLTComPort();
}

bool RunXLTCommand(Flow &flow, XLTPacket &packet)
{
    if (!flow.cancelled())
        flow.link.XLTSendCommand(packet);
    if (!flow.cancelled() && packet.ReplyStatus == ReplyOk)
        return true;
    // A failed exchange leaves the port closed, so the device is free for whoever comes next.
    flow.link.CloseXLTComPort();
    if (!flow.cancelled())
        flow.tell(core::Icon::Exclamation,
                  "XLT Command transmission error " + ReplyStatusText(packet.ReplyStatus));
    return false;
}

namespace {

bool openCommandClose(Flow &flow, XLTPacket &packet)
{
    if (OpenXLTComPort(flow, packet) == 0 || !RunXLTCommand(flow, packet))
        return false;
    CloseXLTComPort(flow);
    return true;
}

} // namespace

bool ReadXLTVersion(Flow &flow, XLTPacket &packet)
{
    setCommand(packet, kCmdReadVersion);
    return openCommandClose(flow, packet);
}

bool ReadXLTConfig(Flow &flow, XLTPacket &packet)
{
    setCommand(packet, kCmdReadConfig);
    return openCommandClose(flow, packet);
}

bool WriteXLTConfig(Flow &flow, XLTPacket &packet,
                    std::span<const std::uint8_t, kConfigBlockSize> config)
{
    setConfig(packet, config);
    return openCommandClose(flow, packet);
}

bool SendXLTUpdateBlock(Flow &flow, XLTPacket &packet, std::span<const std::uint8_t> image,
                        std::uint16_t block)
{
    // Refuse a block that the image does not hold rather than read past it.
    return setUpdateBlock(packet, image, block) && openCommandClose(flow, packet);
}

std::string ProtocolNameToCode(const std::string &name)
{
    static constexpr std::array<std::pair<const char *, const char *>, 5> kCodes = {{
        {"TH001", "PR00"},
        {"ID003", "PR01"},
        {"NT001", "PR03"},
        {"ID300", "PR04"},
        {"AD001", "PR05"},
    }};
    for (const auto &[protocol, code] : kCodes) {
        if (name == protocol)
            return code;
    }
    return name;
}

std::string replyText(const XLTPacket &packet)
{
    return std::string(packet.ReplyData, packet.ReplyData + packet.ReplyLength);
}

} // namespace xlt::link
