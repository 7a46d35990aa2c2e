#pragma once

// The device the windows use, as the user chooses it in the main window: a port source that
// narrows the system's ports to the chosen one, and the choice itself without a window (the
// drop-down's items, the status line, the choice kept while the ports come and go).

#include "PortSource.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace xlt::link {

/// The ports every window's device search sees: all of the wrapped source's while nothing is
/// chosen, otherwise only the port of the chosen name (none while it is not there, so the
/// search finds no device). The window thread chooses while the line's thread lists: the
/// choice is guarded, and the wrapped source must be safe to read from both threads.
class ChoosablePorts final : public PortSource
{
public:
    explicit ChoosablePorts(PortSource &all)
        : m_all(all)
    {}
    std::vector<PortRecord> ports() override;
    /// Every port of the wrapped source, whatever is chosen.
    std::vector<PortRecord> allPorts() { return m_all.ports(); }
    /// The port name ("COM5") the search is narrowed to; empty: every port.
    void choose(std::string portName);
    std::string choice() const;

private:
    PortSource &m_all;
    mutable std::mutex m_mutex;
    std::string m_choice;
};

/// One item of the device drop-down: the port it chooses (empty: automatic) and its text.
struct DeviceOption
{
    std::string portName;
    std::string label;
    bool operator==(const DeviceOption &) const = default;
};

/// The main window's choice of device, without the window. The items are the automatic
/// choice first (the last device port: FindXLTPort's rule) and then each port of the device's
/// family in the system's order, named with its device node and USB serial number. A chosen
/// port that goes away stays chosen, as an item marked gone: the windows find no device
/// until it is back or another item is chosen.
class DeviceChoice
{
public:
    static constexpr const char *kAutomaticLabel = "Automatic (the last device port)";

    explicit DeviceChoice(ChoosablePorts &ports);
    /// Lists the ports again; true when the items or the status line changed.
    bool refresh();
    /// Chooses the item at `index` (0: automatic); the search is narrowed at once.
    void choose(std::size_t index);

    const std::vector<DeviceOption> &options() const { return m_options; }
    /// The index of the chosen item.
    std::size_t chosenIndex() const;
    /// The status line: the device the windows use, or why they find none.
    std::string statusText() const;

private:
    void rebuild();

    ChoosablePorts &m_ports;
    std::vector<PortRecord> m_devicePorts; ///< the family's ports, as last listed
    std::string m_choice;                  ///< the chosen port name, as last listed
    /// The chosen port as last seen, for naming it while it is gone.
    std::optional<PortRecord> m_chosen;
    bool m_chosenGone = false;
    std::vector<DeviceOption> m_options;
};

/// "COM129 (/dev/pts/5), serial XLTSIM129": the port, its device node and its USB serial
/// number where the system has one.
std::string devicePortLabel(const PortRecord &record);

} // namespace xlt::link
