#include "CliContext.h"

#include "Printable.h"
#include "link/OpenFailure.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"

#include <QString>
#include <cstdio>

namespace xlt::cli {

void ConsoleNotifier::message(core::Icon, const std::string &text)
{
    std::string told = text;
    if (m_ports && text.starts_with(link::kNoDeviceText)) {
        if (std::string missing = m_ports->missingText(); !missing.empty())
            told = std::move(missing);
    }
    if (m_told.insert(told).second)
        std::fprintf(stderr, "xltctl: %s\n", printable(told).c_str());
}

std::int16_t AnnouncingLink::OpenXLTComPort(link::XLTPacket &packet)
{
    const std::int16_t open = m_inner.OpenXLTComPort(packet);
    m_failedPort.clear();
    if (open == 0) {
        // As announced (with its device node, which the source may no longer list), or as the
        // source names it now.
        m_failedPort = m_announced == packet.PortNumber
                           ? m_announcedPort
                           : link::describePort(m_ports, packet.PortNumber);
        return open;
    }
    deviceReached() = true;
    if (m_announced != packet.PortNumber) {
        m_announced = packet.PortNumber;
        m_announcedPort = link::describePort(m_ports, packet.PortNumber);
        std::fprintf(stderr, "xltctl: talking to the XLT device on %s\n", m_announcedPort.c_str());
    }
    return open;
}

std::string AnnouncingLink::openFailureText() const
{
    std::string text = m_inner.openFailureText();
    if (text.empty() && !m_failedPort.empty())
        return link::goneText(m_failedPort);
    return text;
}

bool &deviceReached()
{
    static bool reached = false;
    return reached;
}

bool &verdictGiven()
{
    static bool given = false;
    return given;
}

std::string &portChoice()
{
    static std::string choice;
    return choice;
}

ChosenPorts::ChosenPorts(std::unique_ptr<link::PortSource> all, std::string choice)
    : m_all(std::move(all))
    , m_choice(std::move(choice))
{}

std::vector<link::PortRecord> ChosenPorts::ports()
{
    std::vector<link::PortRecord> records = m_all->ports();
    if (m_choice.empty())
        return records;
    const QString choice = QString::fromStdString(m_choice);
    std::erase_if(records, [&](const link::PortRecord &record) {
        return record.devicePath != m_choice &&
               QString::fromStdString(record.portName).compare(choice, Qt::CaseInsensitive) != 0;
    });
    return records;
}

std::string ChosenPorts::missingText()
{
    if (m_choice.empty() || !ports().empty())
        return {};
    std::string text = "no port " + m_choice + ";";
    const std::vector<link::PortRecord> all = m_all->ports();
    if (all.empty())
        return text + " no serial ports at all";
    text += " the ports are";
    for (const link::PortRecord &record : all)
        text += (&record == all.data() ? " " : ", ") + link::describePort(record);
    return text;
}

CliContext::CliContext()
    : ports(std::make_unique<ChosenPorts>(link::makeSystemPortSource(), portChoice()))
    , serial(std::make_unique<link::SerialLink>(*ports))
    , announcing(std::make_unique<AnnouncingLink>(*serial, *ports))
    , line(std::make_unique<link::InlineLine>(*announcing))
    , device(std::make_unique<link::DeviceContext>(*line, *ports, notifier))
{}

} // namespace xlt::cli
