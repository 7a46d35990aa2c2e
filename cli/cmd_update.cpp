// xltctl update: checks an XLT OS update file, shows its identity beside the device's, asks for
// confirmation and sends the image with a progress line.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Fleet.h"
#include "Printable.h"
#include "core/Text.h"
#include "link/Identity.h"
#include "link/Operation.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "update/OpenStep.h"
#include "update/TextProgress.h"
#include "update/Updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <variant>

namespace xlt::cli {

namespace {

constexpr char kUpdateUsage[] =
    "usage: xltctl update [--yes] [--verify] [--expect-interface NAME]\n"
    "                     [--expect-firmware TEXT] [--json] [--all] FILE.dpc\n"
    "\n"
    "Checks the XLT OS update file, prints its identity and the connected device's, asks\n"
    "whether to go on (--yes skips the question; no answer counts as no) and sends the image\n"
    "to the device, 128 bytes per block, with a progress line. After the first 256 blocks the\n"
    "device copies them; the tool waits three seconds there. Do not disconnect the device.\n"
    "\n"
    "--verify  after the update, reads the device's identity again and fails unless it is\n"
    "          the file's (interface, firmware version and mod number).\n"
    "--expect-interface NAME\n"
    "          sends nothing unless both the device's and the file's interface (characters\n"
    "          0-3 of the identity, as 'xltctl identity --json' gives them: PR01) are NAME.\n"
    "--expect-firmware TEXT\n"
    "          sends nothing unless the file's firmware version (characters 5-8: 0234, also\n"
    "          written 02.34) is TEXT. The device's version, which the update replaces, is\n"
    "          not compared.\n"
    "--json    prints a report object at the end instead of the text for the user, which\n"
    "          goes to stderr: \"port\", \"device\", \"serial\", \"identityBefore\" and\n"
    "          \"identityAfter\" (\"PR01 01.23 0001\", or null), \"result\" (\"updated\",\n"
    "          \"verified\", \"not verified\", \"refused\", \"not confirmed\", \"no device\",\n"
    "          \"bad file\" or \"failed\"), \"failedBlock\" (the refused block from 0, or\n"
    "          null) and \"seconds\".\n"
    "--all     updates every attached device at the same time, after one question for all\n"
    "          (the options above apply to each), with one progress line per device, then\n"
    "          one report line per device and a summary (with --json an array of the objects\n"
    "          above, each with \"message\": why it failed, or null). Exit code 0 only when\n"
    "          every device was updated.\n"
    "\n"
    "The progress line is redrawn in place on a terminal; written elsewhere (a log file) it\n"
    "is a line of its own at each tenth of the blocks.\n"
    "\n"
    "Exit codes: 0 update complete (and verified), 1 not confirmed, an identity other than\n"
    "expected, a block not accepted (the block is named on stderr) or the identity not the\n"
    "file's, 2 bad usage or a file that is not a valid update file, 3 no device.\n";

/// The identity's fields for the terminal: they are the device's or the file's bytes.
std::string shown(const link::Identity &identity)
{
    return printable(identity.interfaceCode + " " + identity.firmware + " " + identity.modNumber);
}

/// Where the text for the user goes: standard output, or standard error when standard output
/// carries the JSON report.
std::FILE *userStream = stdout;

class ConsolePanel final : public update::Panel
{
public:
    void clear() override { deviceAnswered = false; }
    /// The lines hold identity bytes of the file and of the device.
    void print(const std::string &line) override
    {
        if (line.starts_with(" Target XLT Interface:"))
            deviceAnswered = true;
        std::fprintf(userStream, "%s\n", printable(line).c_str());
    }
    bool deviceAnswered = false; ///< the device's identity lines were printed
};

/// Asks on the user's stream; no answer counts as no.
bool confirmed(const std::string &question)
{
    std::fprintf(userStream, "%s [y/N] ", question.c_str());
    std::fflush(userStream);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputc('\n', userStream);
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

/// The open step; a file that is not accepted is explained (the window's silent cases too).
update::OpenStepResult openFile(link::DeviceContext &device, ConsolePanel &panel,
                                const std::string &path)
{
    link::Operation look(device);
    update::OpenStepResult opened;
    update::runOpenStep(look, device, panel, pathArgument(path),
                        [&opened](update::OpenStepResult result) { opened = std::move(result); });
    for (const std::string &line : opened.targetLines)
        panel.print(line);
    const std::string shownName = shownPath(pathArgument(path));
    if (opened.kind == update::OpenStepResult::Kind::Unchanged && opened.unreadable.empty())
        std::fprintf(stderr, "xltctl update: '%s' is empty\n", shownName.c_str());
    else if (opened.kind == update::OpenStepResult::Kind::Unchanged)
        std::fprintf(stderr, "xltctl update: cannot read '%s': %s\n", shownName.c_str(),
                     printable(opened.unreadable).c_str());
    else if (opened.check == update::FileCheck::NoIdentity)
        std::fprintf(stderr, "xltctl update: '%s' is too short for an XLT OS Update file\n",
                     shownName.c_str());
    return opened;
}

struct UpdateOptions
{
    bool yes = false;
    bool verify = false;
    std::string path;
    std::optional<std::string> expectInterface;
    std::optional<std::string> expectFirmware;
    bool json = false;
    bool all = false;
};

/// What happened to the device, for the JSON report: its identity before and after the update
/// ("PR01 01.23 0001"; empty when unknown), the result and the refused block.
struct UpdateReport
{
    std::string before;
    std::string after;
    const char *result = "failed";
    int failedBlock = -1;
};

/// An identity field as the guards compare it: its four characters as they come (interface
/// 0-3, firmware 5-8), blanks at the ends removed, as `xltctl identity --json` gives it.
std::string guardField(std::span<const std::uint8_t> identity, std::string link::Identity::*field)
{
    const link::Identity fields = link::parseIdentity(identity, link::FirmwareStyle::AsIs);
    return QString::fromLatin1(fields.*field).trimmed().toLatin1().toStdString();
}

/// Why the guards refuse the update, in one line; empty when they let it go on. `device` is
/// the identity text the device reported, `file` the file's 13 identity bytes.
std::string guardProblem(const std::optional<std::string> &expectInterface,
                         const std::optional<std::string> &expectFirmware,
                         std::span<const std::uint8_t> device, std::span<const std::uint8_t> file)
{
    const auto quoted = [](const std::string &text) { return "\"" + printable(text) + "\""; };
    const auto asks = [](const char *option, const std::string &wanted) {
        return std::string(" but ") + option + " asks for \"" + shownWord(wanted) + "\"";
    };
    if (expectInterface) {
        const std::string &wanted = *expectInterface;
        const std::string mine = guardField(device, &link::Identity::interfaceCode);
        const std::string image = guardField(file, &link::Identity::interfaceCode);
        if (image != wanted)
            return "the image is for interface " + quoted(image) +
                   asks("--expect-interface", wanted) + " (the device's is " + quoted(mine) + ")";
        if (mine != wanted)
            return "the device's interface is " + quoted(mine) +
                   asks("--expect-interface", wanted) + " (the image's is " + quoted(image) + ")";
    }
    if (expectFirmware) {
        const std::string &wanted = *expectFirmware;
        // In the form the option is given: 0234, or 02.34 as the update's identity lines show.
        const bool point = wanted.find('.') != std::string::npos;
        const auto form = [point](const std::string &four) {
            return point && four.size() > 2 ? four.substr(0, 2) + "." + four.substr(2) : four;
        };
        const std::string image = form(guardField(file, &link::Identity::firmware));
        if (image != wanted)
            return "the image is firmware " + quoted(image) + asks("--expect-firmware", wanted) +
                   " (the device runs " +
                   quoted(form(guardField(device, &link::Identity::firmware))) + ")";
    }
    return {};
}

/// The arguments, or the exit code when they end the command (help or bad usage).
std::variant<UpdateOptions, int> parseArgs(const Args &args)
{
    CommandLine commandLine("update", kUpdateUsage);
    commandLine.flag({QStringLiteral("yes"), QStringLiteral("y")});
    commandLine.flag({QStringLiteral("verify")});
    commandLine.option(QStringLiteral("expect-interface"), QStringLiteral("NAME"));
    commandLine.option(QStringLiteral("expect-firmware"), QStringLiteral("TEXT"));
    commandLine.flag({QStringLiteral("json")});
    commandLine.flag({QStringLiteral("all")});
    if (const auto exitCode = commandLine.parse(args))
        return *exitCode;
    if (commandLine.positional().empty())
        return commandLine.usageError("missing FILE.dpc");
    if (commandLine.positional().size() > 1)
        return commandLine.usageError("unexpected argument '" + commandLine.positional()[1] + "'");
    return UpdateOptions{commandLine.isSet(QStringLiteral("yes")),
                         commandLine.isSet(QStringLiteral("verify")),
                         commandLine.positional().front(),
                         commandLine.value(QStringLiteral("expect-interface")),
                         commandLine.value(QStringLiteral("expect-firmware")),
                         commandLine.isSet(QStringLiteral("json")),
                         commandLine.isSet(QStringLiteral("all"))};
}

/// The update of the one device: the open step, the guards, the question and the blocks. The
/// report says what happened.
int updateDevice(const UpdateOptions &options, UpdateReport &report)
{
    CliContext cli;
    link::DeviceContext &device = *cli.device;
    ConsolePanel panel;
    const update::OpenStepResult opened = openFile(device, panel, options.path);
    const std::optional<update::UpdateImage> &image = opened.image;
    if (!image) {
        report.result = "bad file";
        return 2;
    }
    const std::uint16_t port = link::FindXLTPort(*cli.ports);
    if (port == 0) {
        cli.notifier.message(core::Icon::Exclamation, link::kNoDeviceText);
        report.result = "no device";
        return 1;
    }
    // The device did not tell its identity (its failure is on stderr): without it the user
    // cannot compare, and a device that fails one exchange is not sent firmware.
    if (!panel.deviceAnswered) {
        std::fputs("xltctl update: the device did not report its identity; nothing was sent\n",
                   stderr);
        return 1;
    }
    const std::vector<std::uint8_t> seen(opened.device.identity.begin(),
                                         opened.device.identity.end());
    report.before = shown(link::parseIdentity(seen, link::FirmwareStyle::WithPoint));
    const std::string problem = guardProblem(
        options.expectInterface, options.expectFirmware, seen,
        std::span(image->FileData).subspan(update::kIdentityOffset, update::kIdentityBytes));
    if (!problem.empty()) {
        std::fprintf(stderr, "xltctl update: %s; nothing was sent\n", problem.c_str());
        report.result = "refused";
        return 1;
    }
    if (!options.yes &&
        !confirmed("Send " + std::to_string(image->NumBlocks) + " blocks to the XLT device on COM" +
                   std::to_string(port) + "?")) {
        std::fputs("xltctl update: not confirmed; nothing was sent\n", stderr);
        report.result = "not confirmed";
        return 1;
    }

    update::TextProgress progress(userStream, update::TextProgress::outputOf(userStream));
    update::Updater updater(device, progress);
    update::UpdateOutcome outcome;
    // Only the device whose identity was printed and confirmed gets the image.
    updater.start(*image, opened.device, {},
                  [&outcome](update::UpdateOutcome result) { outcome = std::move(result); });
    if (outcome.identityAfter)
        report.after = shown(*outcome.identityAfter);
    if (outcome.result == update::UpdateResult::Complete) {
        report.result = "updated";
        if (!options.verify)
            return 0;
        const std::optional<link::Identity> &identity = outcome.identityAfter;
        if (!identity) {
            std::fputs("xltctl update: the identity could not be read after the update\n", stderr);
            report.result = "not verified";
            return 1;
        }
        const link::Identity &file = image->file;
        if (identity->interfaceCode != file.interfaceCode || identity->firmware != file.firmware ||
            identity->modNumber != file.modNumber) {
            std::fprintf(stderr,
                         "xltctl update: the device reports %s after the update, not the file's "
                         "%s\n",
                         shown(*identity).c_str(), shown(file).c_str());
            report.result = "not verified";
            return 1;
        }
        std::fprintf(userStream, "Verified: the device reports %s\n", shown(*identity).c_str());
        report.result = "verified";
        return 0;
    }
    if (outcome.result == update::UpdateResult::BlockFailed) {
        report.failedBlock = outcome.failedBlock;
        std::fprintf(stderr,
                     "xltctl update: block %d of %d (block number %d) was not accepted; the "
                     "update stopped there\n",
                     outcome.failedBlock + 1, image->NumBlocks, outcome.failedBlock);
    } else if (outcome.result != update::UpdateResult::NoDevice) {
        report.result = "refused";
    }
    return 1;
}

void printJsonReport(const UpdateReport &report, std::chrono::milliseconds time)
{
    const auto identity = [](const std::string &text) {
        return text.empty() ? QJsonValue() : QJsonValue(QString::fromLatin1(text));
    };
    ChosenPorts ports(link::makeSystemPortSource(), portChoice());
    QJsonObject object =
        portFields(portRecord(ports, link::FindXLTPort(ports)).value_or(link::PortRecord{}));
    object.insert(QStringLiteral("identityBefore"), identity(report.before));
    object.insert(QStringLiteral("identityAfter"), identity(report.after));
    object.insert(QStringLiteral("result"), QLatin1String(report.result));
    object.insert(QStringLiteral("failedBlock"),
                  report.failedBlock < 0 ? QJsonValue() : QJsonValue(report.failedBlock));
    object.insert(QStringLiteral("seconds"), double(time.count()) / 1000);
    const QByteArray out = QJsonDocument(object).toJson(QJsonDocument::Indented);
    std::fwrite(out.data(), 1, static_cast<std::size_t>(out.size()), stdout);
}

/// The status lines of a fleet update on a terminal: one per device, redrawn in place.
class FleetStatus
{
public:
    explicit FleetStatus(const std::vector<link::PortRecord> &ports)
        : m_terminal(::isatty(::fileno(userStream)) != 0)
    {
        for (const link::PortRecord &port : ports)
            m_lines.push_back(printable(port.portName) + "  waiting");
        if (m_terminal)
            draw(false);
    }
    /// A line of device i's standard error: its progress lines are shown.
    void line(std::size_t i, const std::string &text)
    {
        if (text.find("%  block ") == std::string::npos)
            return;
        m_lines[i] = printable(m_lines[i].substr(0, m_lines[i].find("  "))) + "  " + text;
        if (m_terminal)
            draw(true);
        else
            std::fprintf(userStream, "%s\n", m_lines[i].c_str());
        std::fflush(userStream);
    }

private:
    void draw(bool again)
    {
        if (again)
            std::fprintf(userStream, "\033[%zuA", m_lines.size());
        for (const std::string &text : m_lines)
            std::fprintf(userStream, "\r\033[K%s\n", text.c_str());
    }

    bool m_terminal;
    std::vector<std::string> m_lines;
};

/// update --all: the file checked once, one question for every device, then every device
/// updated at the same time by a run of its own, and a report.
int updateAll(const UpdateOptions &options)
{
    QString reason;
    const std::optional<std::vector<std::uint8_t>> bytes =
        update::readWholeFile(pathArgument(options.path), &reason);
    const std::string shownName = shownPath(pathArgument(options.path));
    if (!bytes) {
        std::fprintf(stderr, "xltctl update: cannot read '%s': %s\n", shownName.c_str(),
                     printable(core::fromQString(reason)).c_str());
        return 2;
    }
    const update::OpenResult file = update::openUpdateFile(shownName, *bytes);
    if (!file.image) {
        std::fprintf(stderr, "xltctl update: '%s' is not an XLT OS update file%s%s\n",
                     shownName.c_str(), file.message.empty() ? "" : ": ",
                     printable(file.message).c_str());
        return 2;
    }
    int exitCode = 0;
    const auto ports = fleetPorts("update", exitCode);
    if (!ports)
        return exitCode;
    for (const std::string &line : link::fileIdentityLines(file.image->file))
        std::fprintf(userStream, "%s\n", printable(line).c_str());
    std::string names;
    for (const link::PortRecord &port : *ports)
        names += (names.empty() ? "" : ", ") + printable(port.portName);
    if (!options.yes &&
        !confirmed("Send " + std::to_string(file.image->NumBlocks) + " blocks to each of " +
                   std::to_string(ports->size()) + " XLT devices (" + names + ")?")) {
        std::fputs("xltctl update: not confirmed; nothing was sent\n", stderr);
        return 1;
    }
    Args words{"update", "--yes", "--json"};
    if (options.verify)
        words.emplace_back("--verify");
    if (options.expectInterface)
        words.insert(words.end(), {"--expect-interface", *options.expectInterface});
    if (options.expectFirmware)
        words.insert(words.end(), {"--expect-firmware", *options.expectFirmware});
    words.push_back(options.path);
    FleetStatus status(*ports);
    const std::vector<ChildRun> runs = runForEach(
        *ports, [&words](std::size_t) { return words; },
        [&status](std::size_t i, const std::string &text) { status.line(i, text); });
    std::vector<FleetEntry> entries;
    for (const ChildRun &run : runs) {
        FleetEntry entry = entryOf(run, "updated");
        const QJsonObject report = jsonObjectOf(run.out);
        for (const char *field : {"identityBefore", "identityAfter", "failedBlock"})
            entry.fields.insert(QLatin1String(field), report.value(QLatin1String(field)));
        if (const QString result = report.value(QStringLiteral("result")).toString();
            !result.isEmpty())
            entry.result = result.toStdString();
        const auto text = [&report](const char *field) {
            return printable(
                report.value(QLatin1String(field)).toString().toLatin1().toStdString());
        };
        entry.detail = text("identityBefore");
        if (!text("identityAfter").empty())
            entry.detail += " -> " + text("identityAfter");
        entries.push_back(std::move(entry));
    }
    return printFleetReport(entries, options.json);
}

} // namespace

int runUpdate(const Args &args)
{
    const auto parsed = parseArgs(args);
    if (const int *exitCode = std::get_if<int>(&parsed))
        return *exitCode;
    const auto &options = std::get<UpdateOptions>(parsed);
    if (options.json)
        userStream = stderr;
    if (options.all)
        return updateAll(options);
    const auto begun = std::chrono::steady_clock::now();
    UpdateReport report;
    const int code = updateDevice(options, report);
    if (options.json)
        printJsonReport(report, std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - begun));
    return code;
}

} // namespace xlt::cli
