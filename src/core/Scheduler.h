#pragma once

#include <chrono>
#include <functional>

namespace xlt::core {

/// Runs a function once after a delay, on the thread that asked. The windows use a Qt timer
/// (precise, so a 1000 ms period is 1000 ms); the command-line tool sleeps; tests run the
/// function at once and add up the delays.
class Scheduler
{
public:
    virtual ~Scheduler() = default;
    virtual void after(std::chrono::milliseconds delay, std::function<void()> action) = 0;
};

/// Sleeps for the delay, then runs the function (for callers without an event loop).
class SleepingScheduler final : public Scheduler
{
public:
    void after(std::chrono::milliseconds delay, std::function<void()> action) override;
};

} // namespace xlt::core
