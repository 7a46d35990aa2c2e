#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runPorts(const Args &)
{
    std::fputs("xltctl ports: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
