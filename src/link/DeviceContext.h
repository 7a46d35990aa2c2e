#pragma once

#include "LinkLibrary.h"
#include "PortSource.h"
#include "XLTPacket.h"
#include "core/EventPump.h"
#include "core/Notifier.h"

#include <cstdint>
#include <string>

namespace xlt::link {

/// Everything that talks to the device shares one of these: the one command record CmdPacket,
/// the port found by the last search, and the seams to the link, the port list, the user and
/// the event loop. The windows share the application's instance; tests and xltctl build their
/// own around fakes or the emulator.
struct DeviceContext
{
    DeviceContext(LinkLibrary &linkLibrary, PortSource &portSource, core::Notifier &userNotifier,
                  core::EventPump &eventPump)
        : link(linkLibrary), ports(portSource), notifier(userNotifier), pump(eventPump)
    {}

    XLTPacket CmdPacket{};
    std::uint16_t XLTPortNumber = 0;

    LinkLibrary &link;
    PortSource &ports;
    core::Notifier &notifier;
    core::EventPump &pump;

    /// Who holds the device for a series of exchanges (a monitor run, a detection, an update);
    /// empty when nobody does. Other users refuse to start while it is set, so that nothing
    /// interleaves with the holder's exchanges on the shared record and port.
    std::string holder;
};

/// Marks the device as held by `name` for the lifetime of the guard.
class DeviceHold
{
public:
    DeviceHold(DeviceContext &context, std::string name) : m_context(context)
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
