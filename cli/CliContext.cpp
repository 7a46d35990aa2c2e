#include "CliContext.h"

#include "Printable.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"

#include <cstdio>

namespace xlt::cli {

void ConsoleNotifier::message(core::Icon, const std::string &text)
{
    if (m_told.insert(text).second)
        std::fprintf(stderr, "xltctl: %s\n", withoutControls(text).c_str());
}

std::int16_t AnnouncingLink::OpenXLTComPort(link::XLTPacket &packet)
{
    const std::int16_t open = m_inner.OpenXLTComPort(packet);
    if (open != 0 && m_announced != packet.PortNumber) {
        m_announced = packet.PortNumber;
        std::fprintf(stderr, "xltctl: talking to the XLT device on %s\n",
                     link::describePort(m_ports, packet.PortNumber).c_str());
    }
    return open;
}

CliContext::CliContext()
    : ports(link::makeSystemPortSource())
    , serial(std::make_unique<link::SerialLink>(*ports))
    , announcing(std::make_unique<AnnouncingLink>(*serial, *ports))
    , device(std::make_unique<link::DeviceContext>(*announcing, *ports, notifier, scheduler))
{}

} // namespace xlt::cli
