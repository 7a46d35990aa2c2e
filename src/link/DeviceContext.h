#pragma once

#include "DeviceLine.h"
#include "LinkLibrary.h"
#include "PortSource.h"
#include "core/Notifier.h"

#include <memory>
#include <string>

namespace xlt::link {

/// Everything that talks to the device shares one of these: the line that runs device
/// operations, the port list and the user. The windows share the application's instance,
/// whose line is a worker thread; tests and xltctl build their own around fakes or the
/// emulator, usually with operations that run at once.
///
/// Everything here belongs to one thread (the window thread in the program); only the jobs
/// handed to `line` run elsewhere, and of this they use only `ports`, which must then be safe
/// to read from the line's thread (the system's port source only reads the file system).
struct DeviceContext
{
    /// Operations run at once on the caller's thread through `linkLibrary`.
    DeviceContext(LinkLibrary &linkLibrary, PortSource &portSource, core::Notifier &userNotifier)
        : m_ownLine(std::make_unique<InlineLine>(linkLibrary))
        , line(*m_ownLine)
        , ports(portSource)
        , notifier(userNotifier)
    {}
    /// Operations run on `deviceLine` (the program: a LineWorker).
    DeviceContext(DeviceLine &deviceLine, PortSource &portSource, core::Notifier &userNotifier)
        : line(deviceLine)
        , ports(portSource)
        , notifier(userNotifier)
    {}

private:
    std::unique_ptr<InlineLine> m_ownLine; // declared before `line`, which may refer to it

public:
    DeviceLine &line;
    PortSource &ports;
    core::Notifier &notifier;

    /// Who holds the device for an operation (a monitor run, a detection, an update, a
    /// configuration read...); empty when nobody does. Other operations refuse to start while
    /// it is set, so that nothing interleaves with the holder's exchanges on the port.
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
