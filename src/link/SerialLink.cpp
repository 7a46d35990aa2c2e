#include "SerialLink.h"

// Placeholder until the serial line lands: nothing opens.
namespace xlt::link {

struct SerialLink::Impl
{
    PortSource &ports;
};

SerialLink::SerialLink(PortSource &ports) : m_impl(std::make_unique<Impl>(Impl{ports})) {}
SerialLink::~SerialLink() = default;

std::int16_t SerialLink::OpenXLTComPort(XLTPacket &)
{
    return 0;
}

std::int16_t SerialLink::XLTSendCommand(XLTPacket &packet)
{
    packet.ReplyStatus = ComPortClosed;
    return 0;
}

std::int16_t SerialLink::CloseXLTComPort()
{
    return 0;
}

} // namespace xlt::link
