// xltctl options: prints the device's host drive option, or sets it.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "link/Operation.h"
#include "options/OptionBlock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <optional>
#include <string>

namespace xlt::cli {

namespace {

constexpr char kOptionsUsage[] =
    "usage: xltctl options [--drive ttl|opto] [--json]\n"
    "\n"
    "Prints the connected device's identity and its host drive option (byte 112 of its\n"
    "configuration block: 0 is TTL RS232, anything else opto isolated). With --drive, writes\n"
    "the block back with the option set (ttl writes 0, opto writes 255) and every other byte\n"
    "as read. The device applies it after its power has been switched off and on.\n"
    "\n"
    "--json prints one object instead: \"info\" (the identity lines, an array of texts),\n"
    "\"hostDrive\" (\"ttl\" or \"opto\", as read), \"hostDriveByte\" (byte 112, a number)\n"
    "and, with --drive, \"written\" (the mode written, \"ttl\" or \"opto\").\n"
    "\n"
    "Exit codes: 0 done, 1 a failed exchange (the reason is on stderr), 2 bad usage, 3 no\n"
    "device.\n";

/// The mode named by --drive, or nothing for an unknown name.
std::optional<options::HostDrive> driveNamed(const std::string &name)
{
    if (name == "ttl")
        return options::HostDrive::TtlRs232;
    if (name == "opto")
        return options::HostDrive::OptoIsolated;
    return std::nullopt;
}

QString keyOf(options::HostDrive drive)
{
    return drive == options::HostDrive::TtlRs232 ? QStringLiteral("ttl") : QStringLiteral("opto");
}

void printJson(const QJsonObject &object)
{
    const QByteArray out = QJsonDocument(object).toJson(QJsonDocument::Indented);
    std::fwrite(out.data(), 1, static_cast<std::size_t>(out.size()), stdout);
}

const std::string &captionOf(options::HostDrive drive)
{
    return drive == options::HostDrive::TtlRs232 ? options::kTtlCaption : options::kOptoCaption;
}

} // namespace

int runOptions(const Args &args)
{
    CommandLine commandLine("options", kOptionsUsage);
    commandLine.flag({QStringLiteral("json")});
    commandLine.option(QStringLiteral("drive"), QStringLiteral("ttl|opto"), true);
    if (const auto exitCode = commandLine.parseOptionsOnly(args))
        return *exitCode;
    const bool json = commandLine.isSet(QStringLiteral("json"));
    std::optional<options::HostDrive> wanted;
    if (const auto drive = commandLine.value(QStringLiteral("drive"))) {
        wanted = driveNamed(*drive);
        if (!wanted)
            return commandLine.usageError("--drive takes ttl or opto, not '" + *drive + "'");
    }

    CliContext cli;
    const auto reading = link::runToEnd<options::OptionsReading>(*cli.device, options::kHolderName,
                                                                 &options::readOptions);
    if (!reading || !reading->info.portFound)
        return 1;
    const options::TargetInfo &info = reading->info;
    // A failed exchange ends the command: the device is not asked again after it has been told.
    if (info.lines.empty())
        return 1;
    QJsonObject object;
    if (json) {
        QJsonArray lines;
        for (const std::string &line : info.lines)
            lines.append(QString::fromLatin1(line));
        object.insert(QStringLiteral("info"), lines);
    }
    for (const std::string &line : info.lines) {
        if (!json)
            std::printf("%s\n", printable(line).c_str()); // the device's identity bytes
    }
    const std::optional<options::OptionBlock> &block = reading->block;
    if (!block) {
        std::fprintf(stderr,
                     "xltctl options: the configuration of the device on COM%u was not "
                     "read\n",
                     unsigned(reading->port));
        return 1;
    }
    const options::HostDrive current = options::hostDriveOf(*block);
    if (json) {
        object.insert(QStringLiteral("hostDrive"), keyOf(current));
        object.insert(QStringLiteral("hostDriveByte"), int((*block)[options::kHostDriveOffset]));
    } else {
        std::printf("Host drive option: %s (byte 112 = %u)\n", captionOf(current).c_str(),
                    unsigned((*block)[options::kHostDriveOffset]));
    }
    if (!wanted) {
        if (json)
            printJson(object);
        return 0;
    }
    const auto written = link::runToEnd<std::optional<options::OptionBlock>>(
        *cli.device, options::kHolderName,
        [port = reading->port, drive = *wanted](link::Flow &flow) {
            return options::writeHostDrive(flow, port, drive);
        });
    if (!written || !*written) {
        std::fputs("xltctl options: the configuration was not written\n", stderr);
        return 1;
    }
    if (json) {
        object.insert(QStringLiteral("written"), keyOf(*wanted));
        printJson(object);
        return 0;
    }
    std::printf("Host drive option set to: %s\n%s\n", captionOf(*wanted).c_str(),
                options::kSavedText.c_str());
    return 0;
}

} // namespace xlt::cli
