#include "ChoosablePorts.h"

#include "USB_COM.h"
#include "core/ByteText.h"

#include <algorithm>
#include <utility>

namespace xlt::link {

std::vector<PortRecord> ChoosablePorts::ports()
{
    std::vector<PortRecord> records = m_all.ports();
    const std::string chosen = choice();
    if (!chosen.empty())
        std::erase_if(records, [&](const PortRecord &record) { return record.portName != chosen; });
    return records;
}

void ChoosablePorts::choose(std::string portName)
{
    const std::lock_guard lock(m_mutex);
    m_choice = std::move(portName);
}

std::string ChoosablePorts::choice() const
{
    const std::lock_guard lock(m_mutex);
    return m_choice;
}

std::string devicePortLabel(const PortRecord &record)
{
    std::string label = describePort(record);
    if (record.serialNumber.empty())
        return label;
    label += ", serial ";
    core::appendShown(label, record.serialNumber);
    return label;
}

DeviceChoice::DeviceChoice(ChoosablePorts &ports)
    : m_ports(ports)
{
    refresh();
}

bool DeviceChoice::refresh()
{
    const std::vector<DeviceOption> itemsBefore = m_options;
    const std::string statusBefore = statusText();

    m_devicePorts.clear();
    for (PortRecord &record : m_ports.allPorts()) {
        if (devicePortNumber(record) != 0)
            m_devicePorts.push_back(std::move(record));
    }
    m_choice = m_ports.choice();
    const std::string &chosen = m_choice;
    const auto found = std::find_if(m_devicePorts.begin(), m_devicePorts.end(),
                                    [&](const PortRecord &r) { return r.portName == chosen; });
    m_chosenGone = !chosen.empty() && found == m_devicePorts.end();
    if (chosen.empty())
        m_chosen.reset();
    else if (!m_chosenGone)
        m_chosen = *found;
    else if (!m_chosen || m_chosen->portName != chosen)
        m_chosen = PortRecord{{}, chosen, {}}; // chosen elsewhere, never seen here
    rebuild();
    return m_options != itemsBefore || statusText() != statusBefore;
}

void DeviceChoice::rebuild()
{
    m_options = {{{}, kAutomaticLabel}};
    for (const PortRecord &record : m_devicePorts)
        m_options.push_back({record.portName, devicePortLabel(record)});
    if (m_chosenGone)
        m_options.push_back({m_chosen->portName, devicePortLabel(*m_chosen) + " (not connected)"});
}

void DeviceChoice::choose(std::size_t index)
{
    if (index >= m_options.size())
        return;
    m_ports.choose(m_options[index].portName);
    refresh();
}

std::size_t DeviceChoice::chosenIndex() const
{
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        if (m_options[i].portName == m_choice)
            return i;
    }
    return 0;
}

std::string DeviceChoice::statusText() const
{
    if (!m_chosen) {
        if (m_devicePorts.empty())
            return kNoDeviceText;
        return "Using " + devicePortLabel(m_devicePorts.back()) + ": the last device port";
    }
    if (m_chosenGone)
        return devicePortLabel(*m_chosen) +
               " is not connected: the windows find no device until it is back or another "
               "is chosen";
    return "Using " + devicePortLabel(*m_chosen);
}

} // namespace xlt::link
