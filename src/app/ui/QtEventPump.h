#pragma once

#include "core/EventPump.h"

namespace xlt::app {

/// Runs the application's pending events from inside a handler.
class QtEventPump final : public core::EventPump
{
public:
    void processEvents() override;
    void pumpFor(std::chrono::milliseconds duration) override;
};

} // namespace xlt::app
