#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runOptions(const Args &)
{
    std::fputs("xltctl options: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
