#include "CliContext.h"

#include "link/SystemPorts.h"

#include <cstdio>

namespace xlt::cli {

void ConsoleNotifier::message(core::Icon, const std::string &text)
{
    if (m_told.insert(text).second)
        std::fprintf(stderr, "xltctl: %s\n", text.c_str());
}

CliContext::CliContext()
    : ports(link::makeSystemPortSource())
    , serial(std::make_unique<link::SerialLink>(*ports))
    , device(std::make_unique<link::DeviceContext>(*serial, *ports, notifier, scheduler))
{}

} // namespace xlt::cli
