// xltctl identity: finds the device and prints the identity text of its command 16.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Fleet.h"
#include "Printable.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace xlt::cli {

namespace {

constexpr char kIdentityUsage[] =
    "usage: xltctl identity [--json] [--all]\n"
    "\n"
    "Finds the device, reads its identity text and prints it on one line, as the device sends\n"
    "it: interface (characters 0-3, such as PR01), firmware version (5-8) and modification\n"
    "number (9-12). Control bytes in it are printed as \\xNN.\n"
    "\n"
    "--json prints an object instead: \"identity\" (the whole text), \"interface\",\n"
    "\"firmware\" and \"mod\" (its three fields, blanks at the ends removed).\n"
    "\n"
    "--all reads every attached device at the same time and prints one line per device (port,\n"
    "device node, USB serial number, identity or why it failed, seconds) and a summary; with\n"
    "--json an array of objects with \"port\", \"device\", \"serial\", the fields above,\n"
    "\"result\" (\"ok\", \"failed\", \"no device\"), \"message\" (why it failed, or null) and\n"
    "\"seconds\". Exit code 0 only when every device answered.\n"
    "\n"
    "Exit codes: 0 printed, 1 the port did not open or the exchange failed (the reason is on\n"
    "stderr), 2 bad usage, 3 no device.\n";

QString field(const std::string &text, std::size_t from, std::size_t length)
{
    return from < text.size() ? QString::fromLatin1(text.substr(from, length)).trimmed()
                              : QString();
}

constexpr const char *kHolderName = "identity read";

int printIdentity(const std::string &text, bool json)
{
    if (json) {
        const QJsonObject object{
            {QStringLiteral("identity"), QString::fromLatin1(text)},
            {QStringLiteral("interface"), field(text, 0, 4)},
            {QStringLiteral("firmware"), field(text, 5, 4)},
            {QStringLiteral("mod"), field(text, 9, 4)},
        };
        const QByteArray out = QJsonDocument(object).toJson(QJsonDocument::Indented);
        std::fwrite(out.data(), 1, static_cast<std::size_t>(out.size()), stdout);
        return 0;
    }
    // The device's bytes, escaped: a terminal obeys escape sequences in them.
    const std::string shown = printable(text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

/// identity --all: every device's identity, read at the same time.
int identityOfAll(bool json)
{
    int exitCode = 0;
    const auto ports = fleetPorts("identity", exitCode);
    if (!ports)
        return exitCode;
    const std::vector<ChildRun> runs = runForEach(*ports,
                                                  [](std::size_t) {
                                                      return Args{"identity", "--json"};
                                                  },
                                                  {});
    std::vector<FleetEntry> entries;
    for (const ChildRun &run : runs) {
        FleetEntry entry = entryOf(run, "ok");
        entry.fields = jsonObjectOf(run.out);
        entry.detail = printable(
            entry.fields.value(QStringLiteral("identity")).toString().toLatin1().toStdString());
        entries.push_back(std::move(entry));
    }
    return printFleetReport(entries, json);
}

} // namespace

int runIdentity(const Args &args)
{
    CommandLine commandLine("identity", kIdentityUsage);
    commandLine.flag({QStringLiteral("json")});
    commandLine.flag({QStringLiteral("all")});
    if (const auto exitCode = commandLine.parseOptionsOnly(args))
        return *exitCode;
    const bool json = commandLine.isSet(QStringLiteral("json"));
    if (commandLine.isSet(QStringLiteral("all")))
        return identityOfAll(json);
    CliContext cli;
    // ReadXLTVersion's steps, except that a missing device and a port that does not open are
    // reported here.
    const auto text = link::runToEnd<std::optional<std::string>>(
        *cli.device, kHolderName, [](link::Flow &flow) -> std::optional<std::string> {
            link::XLTPacket &packet = flow.CmdPacket;
            if (link::FindXLTPort(flow) == 0) {
                flow.tell(core::Icon::Exclamation, link::kNoDeviceText);
                return std::nullopt;
            }
            if (link::OpenXLTComPort(flow, packet) == 0) {
                std::fprintf(stderr, "xltctl identity: cannot open COM%u\n",
                             unsigned(flow.XLTPortNumber));
                return std::nullopt;
            }
            packet.CommandLength = 1;
            packet.CommandData[0] = link::kCmdReadVersion;
            if (!link::RunXLTCommand(flow, packet))
                return std::nullopt; // the reason is on stderr and the port closed
            link::CloseXLTComPort(flow);
            return link::replyText(packet);
        });
    if (!text || !*text)
        return 1;
    return printIdentity(**text, json);
}

} // namespace xlt::cli
