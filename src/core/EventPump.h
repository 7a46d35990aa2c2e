#pragma once

#include <chrono>

namespace xlt::core {

/// Lets pending window events run from inside a long handler (between listed records, before
/// each update block, during the update's pause). The windows use QCoreApplication's event
/// loop; tests and the command-line tool use a pump that does nothing or records calls.
class EventPump
{
public:
    virtual ~EventPump() = default;
    /// Runs the events that are waiting, once.
    virtual void processEvents() = 0;
    /// Keeps running events until `duration` has passed (the update's first-stage pause).
    virtual void pumpFor(std::chrono::milliseconds duration) = 0;
};

/// A pump that runs nothing; pumpFor() simply sleeps.
class NullEventPump final : public EventPump
{
public:
    void processEvents() override {}
    void pumpFor(std::chrono::milliseconds duration) override;
};

} // namespace xlt::core
