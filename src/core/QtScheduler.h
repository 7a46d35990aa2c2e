#pragma once

#include "Scheduler.h"

namespace xlt::core {

/// The scheduler of a thread with a Qt event loop: a precise single-shot timer per call, so a
/// 1000 ms delay ends after 1000 ms and not up to 5 % later. The function runs from the event
/// loop, also while a modal message box is open.
class QtScheduler final : public Scheduler
{
public:
    void after(std::chrono::milliseconds delay, std::function<void()> action) override;
};

} // namespace xlt::core
