// xltctl ports: the serial ports as the device search sees them, and the device's port.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "link/USB_COM.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace xlt::cli {

namespace {

constexpr char kPortsUsage[] =
    "usage: xltctl ports [--json]\n"
    "\n"
    "Lists the serial ports that the device search sees, one per line, each port name with the\n"
    "label of its driver's family (\" (BV)\" for USB serial ports, where the device is looked\n"
    "for), then one line \"XLT device: COM<n>\" for every port of the device's family, or\n"
    "\"XLT device: none\". The device commands use the last of them unless --port COM<n> or\n"
    "--device PATH picks another. The emulator's virtual ports are listed too (COM129 and up).\n"
    "\n"
    "--json prints a JSON array instead, one object per port with the fields \"com\" (the port\n"
    "name, \"COM129\"), \"device\" (the device node or path), \"name\" (the driver's device\n"
    "name) and \"xlt\" (true for a port of the device's family).\n"
    "\n"
    "Exit codes: 0 listed (also when no device was found), 2 bad usage.\n";

/// One port alone, to ask the device search about it.
class OnePort final : public link::PortSource
{
public:
    explicit OnePort(link::PortRecord record)
        : m_record(std::move(record))
    {}
    std::vector<link::PortRecord> ports() override { return {m_record}; }

private:
    link::PortRecord m_record;
};

} // namespace

int runPorts(const Args &args)
{
    CommandLine commandLine("ports", kPortsUsage);
    commandLine.flag({QStringLiteral("json")});
    if (const auto exitCode = commandLine.parseOptionsOnly(args))
        return *exitCode;
    const bool json = commandLine.isSet(QStringLiteral("json"));
    CliContext cli;
    if (json) {
        QJsonArray list;
        for (const link::PortRecord &record : cli.ports->ports()) {
            OnePort one(record);
            list.append(QJsonObject{
                {QStringLiteral("com"), QString::fromLatin1(record.portName)},
                {QStringLiteral("device"), QString::fromStdString(record.devicePath)},
                {QStringLiteral("name"), QString::fromLatin1(record.objectName)},
                {QStringLiteral("xlt"), link::FindXLTPort(one) != 0},
            });
        }
        const QByteArray text = QJsonDocument(list).toJson(QJsonDocument::Indented);
        std::fwrite(text.data(), 1, static_cast<std::size_t>(text.size()), stdout);
        return 0;
    }
    link::SerialPortTable table;
    std::int16_t count = 0;
    link::ListSerialPorts(*cli.ports, table, count);
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string entry = printable(table[static_cast<std::size_t>(i)]);
        std::fwrite(entry.data(), 1, entry.size(), stdout);
        std::fputc('\n', stdout);
    }
    bool any = false;
    for (const link::PortRecord &record : cli.ports->ports()) {
        OnePort one(record);
        if (const std::uint16_t port = link::FindXLTPort(one)) {
            std::printf("XLT device: COM%u\n", unsigned(port));
            any = true;
        }
    }
    if (!any)
        std::fputs("XLT device: none\n", stdout);
    return 0;
}

} // namespace xlt::cli
