#include "InProcessLink.h"

#include <algorithm>

namespace xlt::sim {

InProcessLink::InProcessLink(DeviceModel &model, std::optional<std::uint8_t> portNumber)
    : m_model(model)
    , m_portNumber(portNumber)
    , m_clock([] { return Clock::now(); })
{}

std::int16_t InProcessLink::OpenXLTComPort(link::XLTPacket &packet)
{
    const DeviceOptions &options = m_model.options();
    if (options.unplugged || m_model.disconnected() ||
        (m_portNumber && *m_portNumber != packet.PortNumber))
        return 0;
    m_open = true;
    ++m_openCount;
    return 1;
}

std::int16_t InProcessLink::XLTSendCommand(link::XLTPacket &packet)
{
    if (!m_open) {
        packet.ReplyStatus = link::ComPortClosed;
        return 0;
    }
    const Response response = m_model.handle(
        std::span<const std::uint8_t>(packet.CommandData, packet.CommandLength), m_clock());
    switch (response.kind) {
    case Response::Kind::Reply:
        packet.ReplyStatus = response.status;
        if (response.status == link::ReplyOk) {
            const std::size_t n = std::min(response.data.size(), kMaxReplyData);
            std::copy_n(response.data.begin(), n, packet.ReplyData);
            packet.ReplyLength = static_cast<std::uint8_t>(n);
        }
        break;
    case Response::Kind::NoReply:
        packet.ReplyStatus = link::CommandTimeOut;
        break;
    case Response::Kind::BadCrc:
    case Response::Kind::Garbage:
        packet.ReplyStatus = link::PacketError;
        break;
    case Response::Kind::Disconnect:
        packet.ReplyStatus = link::PortError;
        m_open = false;
        break;
    }
    return 0;
}

std::int16_t InProcessLink::CloseXLTComPort()
{
    m_open = false;
    return 0;
}

} // namespace xlt::sim
