#pragma once

#include "core/EventPump.h"
#include "core/Notifier.h"
#include "link/DeviceContext.h"
#include "link/PortSource.h"
#include "link/SerialLink.h"

#include <memory>
#include <set>
#include <string>

namespace xlt::cli {

/// Messages that a window would show in a box go to stderr, prefixed "xltctl: ".
class ConsoleNotifier final : public core::Notifier
{
public:
    void message(core::Icon icon, const std::string &text) override;
};

/// Passes every call on to `inner`; when an open fails, tells the user why (the link's
/// openFailureText()), each distinct reason once per command, so that an operation that tries
/// the port again does not repeat it.
class ReportingLink final : public link::LinkLibrary
{
public:
    ReportingLink(link::LinkLibrary &inner, core::Notifier &notifier)
        : m_inner(inner)
        , m_notifier(notifier)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override;
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override;
    std::int16_t CloseXLTComPort() override;
    std::string openFailureText() const override;

private:
    link::LinkLibrary &m_inner;
    core::Notifier &m_notifier;
    std::set<std::string> m_told;
};

/// The real device context of the command-line tool: the system's ports, the serial link
/// (whose open failures are reported), messages on stderr, and a pump that runs nothing.
struct CliContext
{
    CliContext();
    std::unique_ptr<link::PortSource> ports;
    std::unique_ptr<link::SerialLink> serial;
    ConsoleNotifier notifier;
    ReportingLink reporting;
    core::NullEventPump pump;
    std::unique_ptr<link::DeviceContext> device;
};

} // namespace xlt::cli
