#include "AutoDetect.h"

#include "Pr01Device.h"
#include "link/XLT_protocol.h"

#include <array>

namespace xlt::pr01 {

AutoDetect::AutoDetect(link::DeviceContext &context, AutoDetectSink &sink)
    : m_context(context), m_sink(sink)
{}

AutoDetect::~AutoDetect()
{
    stop();
}

bool AutoDetect::send(std::uint8_t length, std::uint8_t code, std::uint8_t parameter)
{
    link::XLTPacket &packet = m_context.CmdPacket;
    packet.CommandLength = length;
    packet.CommandData[0] = code;
    if (length > 1)
        packet.CommandData[1] = parameter;
    return link::RunXLTCommand(m_context, packet);
}

bool AutoDetect::start()
{
    if (running() || link::refuseWhileHeld(m_context))
        return false;
    CfgItemsRead = 0;
    if (!CheckPR01Device(m_context))
        return false;
    m_hold.emplace(m_context, kHolderName);
    if (link::OpenXLTComPort(m_context, m_context.CmdPacket) == 0 || !send(1, link::kCmdDetectStart)) {
        m_hold.reset();
        return false;
    }
    AbortAutoCfg = false;
    return true;
}

bool AutoDetect::fetch(Item item)
{
    if (!send(2, link::kCmdDetectFetch, item))
        return false;
    const link::XLTPacket &packet = m_context.CmdPacket;
    if (item == Currency) {
        m_sink.currencyDetected(
            std::span<const std::uint8_t, 4 * kRowCount>(packet.ReplyData + 1, 4 * kRowCount));
    } else {
        // Byte 0 is the device's flag byte; every further byte is one character, zeros included.
        const std::size_t length = packet.ReplyLength > 1 ? packet.ReplyLength - 1u : 0u;
        const std::string text(packet.ReplyData + 1, packet.ReplyData + 1 + length);
        if (item == Version)
            m_sink.versionDetected(text);
        else
            m_sink.bootVersionDetected(text);
    }
    CfgItemsRead = static_cast<std::uint8_t>(CfgItemsRead | item);
    return true;
}

bool AutoDetect::finish()
{
    m_hold.reset();
    return false;
}

bool AutoDetect::tick()
{
    if (!running())
        return false;
    // A failed exchange has already closed the port and told the user.
    if (!send(1, link::kCmdDetectPoll))
        return finish();
    const std::uint8_t &flags = m_context.CmdPacket.ReplyData[0];
    for (const Item item : {Version, BootVersion, Currency}) {
        if ((flags & item) && !(CfgItemsRead & item) && !fetch(item))
            return finish();
    }
    if (flags == kAllItems || AbortAutoCfg) {
        link::CloseXLTComPort(m_context);
        return finish();
    }
    return true;
}

void AutoDetect::stop()
{
    if (!running())
        return;
    link::CloseXLTComPort(m_context);
    m_hold.reset();
}

} // namespace xlt::pr01
