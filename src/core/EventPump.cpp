#include "EventPump.h"

#include <thread>

namespace xlt::core {

void NullEventPump::pumpFor(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

} // namespace xlt::core
