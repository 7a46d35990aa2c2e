#include "Scheduler.h"

#include <thread>

namespace xlt::core {

void SleepingScheduler::after(std::chrono::milliseconds delay, std::function<void()> action)
{
    std::this_thread::sleep_for(delay);
    action();
}

} // namespace xlt::core
