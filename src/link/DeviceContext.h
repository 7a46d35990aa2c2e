#pragma once

#include "DeviceLine.h"
#include "LinkLibrary.h"
#include "PortSource.h"
#include "XLTPacket.h"
#include "core/Notifier.h"
#include "core/Scheduler.h"

#include <cstdint>
#include <memory>
#include <string>

namespace xlt::link {

/// Everything that talks to the device shares one of these: the one command record CmdPacket,
/// the port found by the last search, and the seams to the line, the port list, the user and
/// the timers. The windows share the application's instance, whose line is a worker thread;
/// tests and xltctl build their own around fakes or the emulator, usually with exchanges that
/// run at once.
///
/// Everything here belongs to one thread (the window thread in the program); only the jobs
/// handed to `line` run elsewhere.
struct DeviceContext
{
    /// Exchanges run at once on the caller's thread through `linkLibrary`.
    DeviceContext(LinkLibrary &linkLibrary, PortSource &portSource, core::Notifier &userNotifier,
                  core::Scheduler &timers)
        : m_ownLine(std::make_unique<InlineLine>(linkLibrary))
        , line(*m_ownLine)
        , ports(portSource)
        , notifier(userNotifier)
        , scheduler(timers)
    {}
    /// Exchanges run on `deviceLine` (the program: a LineWorker).
    DeviceContext(DeviceLine &deviceLine, PortSource &portSource, core::Notifier &userNotifier,
                  core::Scheduler &timers)
        : line(deviceLine)
        , ports(portSource)
        , notifier(userNotifier)
        , scheduler(timers)
    {}

private:
    std::unique_ptr<InlineLine> m_ownLine; // declared before `line`, which may refer to it

public:
    XLTPacket CmdPacket{};
    std::uint16_t XLTPortNumber = 0;

    DeviceLine &line;
    PortSource &ports;
    core::Notifier &notifier;
    core::Scheduler &scheduler;

    /// Who holds the device for a series of exchanges (a monitor run, a detection, an update);
    /// empty when nobody does. Other users refuse to start while it is set, so that nothing
    /// interleaves with the holder's exchanges on the shared record and port.
    std::string holder;
};

/// Marks the device as held by `name` for the lifetime of the guard.
class DeviceHold
{
public:
    DeviceHold(DeviceContext &context, std::string name)
        : m_context(context)
    {
        m_context.holder = std::move(name);
    }
    ~DeviceHold() { m_context.holder.clear(); }
    DeviceHold(const DeviceHold &) = delete;
    DeviceHold &operator=(const DeviceHold &) = delete;

private:
    DeviceContext &m_context;
};

/// When the device is held by somebody, tells the user so (exclamation box) and returns true;
/// the caller then gives up. Returns false when the device is free.
bool refuseWhileHeld(DeviceContext &context);

} // namespace xlt::link
