// Who holds a serial port on Windows: the system does not tell which program has a COM port
// open (no lock files, no per-process list of open devices that a user program may read), so
// nothing is found and the message says so (windowsOpenFailureText).
#include "OpenFailure.h"

#include <windows.h>

namespace xlt::link {

std::optional<PortHolder> findPortHolder(const std::string & /*devicePath*/,
                                         const HolderSearch & /*search*/)
{
    return std::nullopt;
}

long currentProcessId()
{
    return static_cast<long>(GetCurrentProcessId());
}

} // namespace xlt::link
