#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runIdentity(const Args &)
{
    std::fputs("xltctl identity: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
