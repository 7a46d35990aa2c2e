#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runConfig(const Args &)
{
    std::fputs("xltctl config: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
