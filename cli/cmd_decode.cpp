#include "Commands.h"

#include <cstdio>

namespace xlt::cli {

int runDecode(const Args &)
{
    std::fputs("xltctl decode: not available yet\n", stderr);
    return 1;
}

} // namespace xlt::cli
