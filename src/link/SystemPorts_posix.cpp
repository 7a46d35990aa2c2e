// The system's ports on Linux: the emulator's and the kernel's (WindowsPorts.cpp on Windows).
#include "SystemPorts.h"

namespace xlt::link {

std::unique_ptr<PortSource> makeSystemPortSource()
{
    return std::make_unique<LinuxPortSource>();
}

} // namespace xlt::link
