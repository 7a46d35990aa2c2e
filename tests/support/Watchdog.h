#pragma once

// For cases that must not hang (a pipe planted at a file's name): runs an operation on a thread
// of its own and gives up waiting after a few seconds. A hang fails the test instead of
// stalling the suite; the blocked thread is left behind.

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace xlt::test {

/// The operation's result, or nothing when it has not ended within `limit`.
template<typename T>
std::optional<T> endsWithin(std::function<T()> operation,
                            std::chrono::seconds limit = std::chrono::seconds(5))
{
    auto result = std::make_shared<std::promise<T>>();
    std::future<T> done = result->get_future();
    std::thread([result, operation = std::move(operation)] {
        result->set_value(operation());
    }).detach();
    if (done.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return done.get();
}

} // namespace xlt::test
