#pragma once

#include "core/Notifier.h"
#include "link/DeviceContext.h"
#include "link/LinkLibrary.h"
#include "link/PortSource.h"
#include "link/SerialLink.h"

#include <memory>
#include <set>
#include <string>

namespace xlt::cli {

class ChosenPorts;

/// Messages that a window would show in a box go to stderr, prefixed "xltctl: ", with control
/// bytes written as \xNN. A text already printed by this command is not printed again (an
/// update tries the port for the file check and again for its first block: why it did not open
/// is said once). "No XLT device detected" (also "... on USB") becomes ChosenPorts'
/// missingText() when the port chosen with --port or --device is not there.
class ConsoleNotifier final : public core::Notifier
{
public:
    explicit ConsoleNotifier(ChosenPorts *ports = nullptr)
        : m_ports(ports)
    {}
    void message(core::Icon icon, const std::string &text) override;

private:
    ChosenPorts *m_ports;
    std::set<std::string> m_told;
};

/// The serial link that says on stderr, at the first port it opens, which port and device node
/// the tool talks to ("xltctl: talking to the XLT device on COM129 (/dev/pts/5)"): with an
/// emulator and a device about, the user sees which one gets the configuration or the firmware.
/// An open that fails because the device went away (unplugged between two exchanges), which
/// the serial link leaves silent, is told too (link::goneText): every failure has its reason.
class AnnouncingLink final : public link::LinkLibrary
{
public:
    AnnouncingLink(link::LinkLibrary &inner, link::PortSource &ports)
        : m_inner(inner)
        , m_ports(ports)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override;
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        return m_inner.XLTSendCommand(packet);
    }
    std::int16_t CloseXLTComPort() override { return m_inner.CloseXLTComPort(); }
    std::string openFailureText() const override;
    void setInterrupt(std::function<bool()> interrupted) override
    {
        m_inner.setInterrupt(std::move(interrupted));
    }

private:
    link::LinkLibrary &m_inner;
    link::PortSource &m_ports;
    int m_announced = -1;        ///< the port number last announced
    std::string m_announcedPort; ///< and how it was named then, with its device node
    std::string m_failedPort;    ///< the port of the last open, when it failed; empty if not
};

/// True once a port of this run of the tool has opened: a later failure is the device's, even
/// when the device is gone by then.
bool &deviceReached();

/// True when the command's exit code 1 is its answer, not a failure (config diff --exit-code
/// found differences): main() then does not turn it into 3.
bool &verdictGiven();

/// The port that --port COMn or --device PATH picked for this run of the tool; empty: any.
/// A port name is matched without regard to case, a path exactly.
std::string &portChoice();

/// The system's ports as the device search sees them, narrowed to the chosen one (if any).
class ChosenPorts final : public link::PortSource
{
public:
    ChosenPorts(std::unique_ptr<link::PortSource> all, std::string choice);
    std::vector<link::PortRecord> ports() override;
    /// When a port was chosen and the system has no such port: "no port COM99; the ports are
    /// COM3 (/dev/ttyS2), COM129 (/dev/pts/5)", or "no port COM99; no serial ports at all".
    /// Empty otherwise.
    std::string missingText();

private:
    std::unique_ptr<link::PortSource> m_all;
    std::string m_choice;
};

/// The real device context of the command-line tool: the system's ports, the serial link run
/// at once on the tool's thread (whose pauses a command may take over, to watch a deadline),
/// and messages on stderr. With a port chosen, the search sees only it.
struct CliContext
{
    CliContext();
    std::unique_ptr<ChosenPorts> ports;
    std::unique_ptr<link::SerialLink> serial;
    std::unique_ptr<AnnouncingLink> announcing;
    std::unique_ptr<link::InlineLine> line;
    ConsoleNotifier notifier{ports.get()};
    std::unique_ptr<link::DeviceContext> device;
};

} // namespace xlt::cli
