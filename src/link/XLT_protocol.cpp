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

std::int16_t OpenXLTComPort(DeviceContext &context, XLTPacket &packet)
{
    return context.link.OpenXLTComPort(packet);
}

void CloseXLTComPort(DeviceContext &context)
{
    context.link.CloseXLTComPort();
}

bool RunXLTCommand(DeviceContext &context, XLTPacket &packet)
{
    context.link.XLTSendCommand(packet);
    const std::uint8_t status = packet.ReplyStatus;
    if (status == ReplyOk)
        return true;
    context.notifier.message(core::Icon::Exclamation,
                             "XLT Command transmission error " + ReplyStatusText(status));
    context.link.CloseXLTComPort();
    return false;
}

namespace {

/// Open, let `fill` set CommandLength and CommandData, run, close.
template<typename Fill>
bool openCommandClose(DeviceContext &context, XLTPacket &packet, Fill &&fill)
{
    if (context.link.OpenXLTComPort(packet) == 0)
        return false;
    std::forward<Fill>(fill)(packet);
    if (!RunXLTCommand(context, packet))
        return false;
    context.link.CloseXLTComPort();
    return true;
}

bool simpleCommand(DeviceContext &context, XLTPacket &packet, std::uint8_t code)
{
    return openCommandClose(context, packet, [code](XLTPacket &p) {
        p.CommandLength = 1;
        p.CommandData[0] = code;
    });
}

} // namespace

bool ReadXLTVersion(DeviceContext &context, XLTPacket &packet)
{
    return simpleCommand(context, packet, kCmdReadVersion);
}

bool ReadXLTConfig(DeviceContext &context, XLTPacket &packet)
{
    return simpleCommand(context, packet, kCmdReadConfig);
}

bool WriteXLTConfig(DeviceContext &context, XLTPacket &packet,
                    std::span<const std::uint8_t, kConfigBlockSize> config)
{
    return openCommandClose(context, packet, [config](XLTPacket &p) {
        p.CommandLength = 1 + kConfigBlockSize;
        p.CommandData[0] = kCmdWriteConfig;
        std::copy(config.begin(), config.end(), p.CommandData + 1);
    });
}

bool SendXLTUpdateBlock(DeviceContext &context, XLTPacket &packet,
                        std::span<const std::uint8_t> image, std::uint16_t block)
{
    // Block k carries image bytes 128 * (k + 1) .. 128 * (k + 2) - 1: refuse a block that the
    // image does not hold rather than read past it.
    const std::size_t first = kUpdateBlockSize * (std::size_t{block} + 1);
    if (image.size() < first + kUpdateBlockSize)
        return false;
    const auto bytes = image.subspan(first, kUpdateBlockSize);
    return openCommandClose(context, packet, [block, bytes](XLTPacket &p) {
        p.CommandLength = 3 + kUpdateBlockSize;
        p.CommandData[0] = kCmdUpdateBlock;
        p.CommandData[1] = static_cast<std::uint8_t>(block % 256);
        p.CommandData[2] = static_cast<std::uint8_t>(block / 256);
        std::copy(bytes.begin(), bytes.end(), p.CommandData + 3);
    });
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
