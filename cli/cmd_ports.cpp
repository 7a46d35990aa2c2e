// xltctl ports: the serial ports as the device search sees them, and the device's port.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "link/USB_COM.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

namespace xlt::cli {

namespace {

constexpr char kPortsUsage[] =
    "usage: xltctl ports [--json]\n"
    "\n"
    "Lists the serial ports that the device search sees, one per line: the port name with the\n"
    "label of its driver's family, its device node and, where the system has one, the USB\n"
    "serial number of its device (\"COM65 (BV)  /dev/ttyACM0  serial 0042A1\"). \" (BV)\" marks\n"
    "the ports of the device's own USB serial driver (cdc_acm) and the emulator's virtual ports\n"
    "(COM129 and up): the ports where the device is looked for; \" (KV4)\" marks ftdi_sio and\n"
    "\" (Hopper)\" cp210x ports. Then one line \"XLT device: COM<n>\" for every port of the\n"
    "device's family, or \"XLT device: none\". The device commands use the last of them unless\n"
    "--port COM<n> or --device PATH picks another.\n"
    "\n"
    "--json prints a JSON array instead, one object per port with the fields \"com\" (the port\n"
    "name, \"COM129\"), \"device\" (the device node or path), \"serial\" (the USB serial\n"
    "number, null where there is none), \"name\" (the driver's device name) and \"xlt\" (true\n"
    "for a port of the device's family).\n"
    "\n"
    "Exit codes: 0 listed (also when no device was found), 2 bad usage, 3 the port chosen\n"
    "with --port or --device is not there (the ports that are are named on stderr).\n";

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
    // A chosen port that is not there is told as every command tells it, not listed as none.
    if (const std::string missing = cli.ports->missingText(); !missing.empty()) {
        std::fprintf(stderr, "xltctl: %s\n", printable(missing).c_str());
        return 3;
    }
    if (json) {
        QJsonArray list;
        for (const link::PortRecord &record : cli.ports->ports()) {
            OnePort one(record);
            list.append(QJsonObject{
                {QStringLiteral("com"), QString::fromLatin1(record.portName)},
                {QStringLiteral("device"), QString::fromStdString(record.devicePath)},
                {QStringLiteral("serial"), record.serialNumber.empty()
                                               ? QJsonValue()
                                               : QString::fromLatin1(record.serialNumber)},
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
    // The table's entries come in the source's order, without the ports it leaves out.
    const std::vector<link::PortRecord> records = cli.ports->ports();
    auto next = records.begin();
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string &entry = table[static_cast<std::size_t>(i)];
        next = std::find_if(next, records.end(), [&entry](const link::PortRecord &record) {
            return link::serialPortEntry(record) == entry;
        });
        std::string line = printable(entry);
        if (next != records.end()) {
            line += "  " + shownPath(next->devicePath);
            if (!next->serialNumber.empty())
                line += "  serial " + printable(next->serialNumber);
            ++next;
        }
        std::fwrite(line.data(), 1, line.size(), stdout);
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
