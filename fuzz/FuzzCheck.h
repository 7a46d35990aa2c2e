#pragma once

// Checks of the fuzz targets: a failed one aborts, so libFuzzer keeps the input as a crash and
// the replay main fails its test.
#include "monitor/TrafficListing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

/// A decoder's working frame from a fuzz input whose first byte is the record tag: the rest (up
/// to 256 bytes) is copied in and the remainder is zero. The frame lives alone on the heap, so a
/// read past its 256 bytes trips AddressSanitizer.
inline std::unique_ptr<monitor::WorkingFrame> frameFromInput(const std::uint8_t *data,
                                                             std::size_t size)
{
    auto frame = std::make_unique<monitor::WorkingFrame>();
    frame->fill(0);
    if (size > 1)
        std::copy_n(data + 1, std::min(size - 1, frame->size()), frame->begin());
    return frame;
}

} // namespace xlt::fuzz
