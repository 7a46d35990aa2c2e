#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace xlt::cli {

/// The result of a device request on the tool's own line, which runs every exchange at once:
/// `request` gets a callback, and that callback has run by the time `request` returns.
template<typename T, typename Request> T await(Request &&request)
{
    std::optional<T> result;
    std::forward<Request>(request)([&result](T value) { result = std::move(value); });
    if (!result) {
        std::fputs("xltctl: internal error: a device request did not finish\n", stderr);
        std::abort();
    }
    return std::move(*result);
}

} // namespace xlt::cli
