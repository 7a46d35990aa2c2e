#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runMonitor(const Args &)
{
    std::fputs("xltctl monitor: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
