#pragma once

namespace xlt::core {

/// Lets pending events run from inside a long handler: the traffic listing calls it between
/// records. The windows list a reply in microseconds and pass a pump that does nothing;
/// xltctl's monitor uses it to notice an interrupt; tests count the calls.
class EventPump
{
public:
    virtual ~EventPump() = default;
    /// Runs the events that are waiting, once.
    virtual void processEvents() = 0;
};

/// A pump that runs nothing.
class NullEventPump final : public EventPump
{
public:
    void processEvents() override {}
};

} // namespace xlt::core
