#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runUpdate(const Args &)
{
    std::fputs("xltctl update: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
