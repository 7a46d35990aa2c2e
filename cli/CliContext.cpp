#include "CliContext.h"

#include "link/SystemPorts.h"

#include <cstdio>

namespace xlt::cli {

void ConsoleNotifier::message(core::Icon, const std::string &text)
{
    std::fprintf(stderr, "xltctl: %s\n", text.c_str());
}

std::int16_t ReportingLink::OpenXLTComPort(link::XLTPacket &packet)
{
    const std::int16_t opened = m_inner.OpenXLTComPort(packet);
    if (opened == 0) {
        const std::string text = m_inner.openFailureText();
        if (!text.empty() && m_told.insert(text).second)
            m_notifier.message(core::Icon::Exclamation, text);
    }
    return opened;
}

std::int16_t ReportingLink::XLTSendCommand(link::XLTPacket &packet)
{
    return m_inner.XLTSendCommand(packet);
}

std::int16_t ReportingLink::CloseXLTComPort()
{
    return m_inner.CloseXLTComPort();
}

std::string ReportingLink::openFailureText() const
{
    return m_inner.openFailureText();
}

CliContext::CliContext()
    : ports(link::makeSystemPortSource())
    , serial(std::make_unique<link::SerialLink>(*ports))
    , reporting(*serial, notifier)
    , device(std::make_unique<link::DeviceContext>(reporting, *ports, notifier, pump))
{}

} // namespace xlt::cli
