#pragma once

#include "core/Notifier.h"
#include "core/Scheduler.h"
#include "link/DeviceContext.h"
#include "link/PortSource.h"
#include "link/SerialLink.h"

#include <memory>

namespace xlt::cli {

/// Messages that a window would show in a box go to stderr, prefixed "xltctl: ".
class ConsoleNotifier final : public core::Notifier
{
public:
    void message(core::Icon icon, const std::string &text) override;
};

/// The real device context of the command-line tool: the system's ports, the serial link,
/// messages on stderr, and timers that sleep.
struct CliContext
{
    CliContext();
    std::unique_ptr<link::PortSource> ports;
    std::unique_ptr<link::SerialLink> serial;
    ConsoleNotifier notifier;
    core::SleepingScheduler scheduler;
    std::unique_ptr<link::DeviceContext> device;
};

} // namespace xlt::cli
