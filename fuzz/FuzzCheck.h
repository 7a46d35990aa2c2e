#pragma once

// Checks of the fuzz targets: a failed one aborts, so libFuzzer keeps the input as a crash and
// the replay main fails its test.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace xlt::fuzz {

inline void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

/// Decoded and listed lines hold printable ASCII only: names, digits, spaces and punctuation.
inline bool isPrintable(const std::string &line)
{
    for (char c : line) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

inline bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace xlt::fuzz
