#include "XLT_protocol.h"

#include <algorithm>
#include <array>
#include <memory>
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

/// What one request does on the line: open the port first, run one command, close afterwards.
struct Steps
{
    bool open = false;
    bool command = false;
    bool close = false;
};

constexpr Steps kOpen{true, false, false};
constexpr Steps kCommand{false, true, false};
constexpr Steps kOpenCommandClose{true, true, true};

/// What the link's part of a request found: whether the port opened, and if not, why (empty
/// when there is nothing to tell: a port that vanished, or a link that does not know).
struct Opened
{
    bool opened = true;
    std::string whyNot;
};

/// The link's part of a request, on the line's thread.
Opened runSteps(LinkLibrary &link, XLTPacket &packet, Steps steps)
{
    if (steps.open && link.OpenXLTComPort(packet) == 0)
        return {false, link.openFailureText()};
    if (!steps.command)
        return {};
    link.XLTSendCommand(packet);
    // A failed exchange leaves the port closed, so the device is free for whoever comes next.
    if (packet.ReplyStatus != ReplyOk || steps.close)
        link.CloseXLTComPort();
    return {};
}

/// The caller's part, on the caller's thread: the one message of a failed open or exchange.
bool report(DeviceContext &context, const XLTPacket &packet, const Opened &opened, Steps steps)
{
    if (!opened.opened) {
        if (!opened.whyNot.empty())
            context.notifier.message(core::Icon::Exclamation, opened.whyNot);
        return false;
    }
    if (!steps.command || packet.ReplyStatus == ReplyOk)
        return true;
    context.notifier.message(core::Icon::Exclamation, "XLT Command transmission error " +
                                                          ReplyStatusText(packet.ReplyStatus));
    return false;
}

bool runNow(DeviceContext &context, XLTPacket &packet, Steps steps)
{
    LinkLibrary *link = context.line.direct();
    if (link == nullptr)
        return false;
    return report(context, packet, runSteps(*link, packet, steps), steps);
}

void request(DeviceContext &context, Steps steps, Completion done)
{
    struct Work
    {
        XLTPacket packet;
        Opened opened;
    };
    auto work = std::make_shared<Work>();
    work->packet = context.CmdPacket;
    context.line.submit(
        [work, steps](LinkLibrary &link) { work->opened = runSteps(link, work->packet, steps); },
        [&context, work, steps, done = std::move(done)] {
            // Only what the link writes comes back: the caller's settings and command stay
            // as the caller has them now.
            XLTPacket &packet = context.CmdPacket;
            packet.ReplyStatus = work->packet.ReplyStatus;
            packet.ReplyLength = work->packet.ReplyLength;
            std::copy(std::begin(work->packet.ReplyData), std::end(work->packet.ReplyData),
                      std::begin(packet.ReplyData));
            const bool ok = report(context, context.CmdPacket, work->opened, steps);
            if (done)
                done(ok);
        });
}

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

std::int16_t OpenXLTComPort(DeviceContext &context, XLTPacket &packet)
{
    return runNow(context, packet, kOpen) ? 1 : 0;
}

void CloseXLTComPort(DeviceContext &context)
{
    context.line.submit([](LinkLibrary &link) { link.CloseXLTComPort(); }, {});
}

bool RunXLTCommand(DeviceContext &context, XLTPacket &packet)
{
    return runNow(context, packet, kCommand);
}

bool ReadXLTVersion(DeviceContext &context, XLTPacket &packet)
{
    setCommand(packet, kCmdReadVersion);
    return runNow(context, packet, kOpenCommandClose);
}

bool ReadXLTConfig(DeviceContext &context, XLTPacket &packet)
{
    setCommand(packet, kCmdReadConfig);
    return runNow(context, packet, kOpenCommandClose);
}

bool WriteXLTConfig(DeviceContext &context, XLTPacket &packet,
                    std::span<const std::uint8_t, kConfigBlockSize> config)
{
    setConfig(packet, config);
    return runNow(context, packet, kOpenCommandClose);
}

bool SendXLTUpdateBlock(DeviceContext &context, XLTPacket &packet,
                        std::span<const std::uint8_t> image, std::uint16_t block)
{
    // Refuse a block that the image does not hold rather than read past it.
    return setUpdateBlock(packet, image, block) && runNow(context, packet, kOpenCommandClose);
}

void OpenXLTComPort(DeviceContext &context, Completion done)
{
    request(context, kOpen, std::move(done));
}

void RunXLTCommand(DeviceContext &context, Completion done)
{
    request(context, kCommand, std::move(done));
}

void ReadXLTVersion(DeviceContext &context, Completion done)
{
    setCommand(context.CmdPacket, kCmdReadVersion);
    request(context, kOpenCommandClose, std::move(done));
}

void ReadXLTConfig(DeviceContext &context, Completion done)
{
    setCommand(context.CmdPacket, kCmdReadConfig);
    request(context, kOpenCommandClose, std::move(done));
}

void WriteXLTConfig(DeviceContext &context, std::span<const std::uint8_t, kConfigBlockSize> config,
                    Completion done)
{
    setConfig(context.CmdPacket, config);
    request(context, kOpenCommandClose, std::move(done));
}

void SendXLTUpdateBlock(DeviceContext &context, std::span<const std::uint8_t> image,
                        std::uint16_t block, Completion done)
{
    if (!setUpdateBlock(context.CmdPacket, image, block)) {
        if (done)
            done(false);
        return;
    }
    request(context, kOpenCommandClose, std::move(done));
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
