// xltctl monitor: the traffic monitor's run without a window. The same run as the window's
// polls the device every 50 ms (from the end of one poll to the start of the next); this prints
// every listed line and the run writes its two log files and its capture file, until the time
// is up or it is interrupted.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Interrupts.h"
#include "Printable.h"
#include "PrintingList.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "monitor/CaptureFile.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficListing.h"
#include "session/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace xlt::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kMonitorUsage[] =
    "usage: xltctl monitor [--seconds N] [--log-dir DIR] [--raw FILE] [--json]\n"
    "\n"
    "Finds the device, starts its traffic capture and fetches the captured frames every 50 ms,\n"
    "as the monitor window's Run does. Prints each target line as tgt|LINE and each host line\n"
    "as xlt|LINE as they are listed, and at the end label|target|TEXT and label|host|TEXT.\n"
    "Writes the run's two log files (XLT_log_ dd mm yyyy hh mm ss.tgt and .xlt) and its\n"
    "capture file (the same name, .xltcap) in DIR, or without --log-dir in the stored log\n"
    "directory. The capture file holds header lines starting with # (format version, start\n"
    "time, port and device node, device identity, program version), then each capture-read\n"
    "reply that holds bytes as one line of hexadecimal bytes; 'xltctl decode --replies FILE'\n"
    "lists them again.\n"
    "\n"
    "--seconds N  ends the run after N seconds (whole number); without it the run goes on\n"
    "             until Ctrl-C. Either way the reply in hand is listed and logged first.\n"
    "--raw FILE   writes the capture file to FILE instead. FILE is started empty (a file of\n"
    "             that name is replaced; a link, a pipe or a device is refused). Either way the\n"
    "             capture holds whole lines only: a line that cannot be written (a full disk)\n"
    "             is told once and left out, and the run goes on.\n"
    "--json       prints each record as one JSON object on a line of its own (JSON Lines)\n"
    "             instead of its lines, in capture order, and no label lines: \"run\" (when\n"
    "             the run started, 2026-12-07T11:30:52+01:00), \"side\" (\"target\" or\n"
    "             \"host\"), \"direction\" (\"tx\" or \"rx\" as its XLT TX or XLT RX line),\n"
    "             \"packet\" (its side's packet number), \"offset\" (time offset in ms), \"hex\"\n"
    "             (the frame bytes listed), \"text\" (the decoded line; device bytes as Latin-1\n"
    "             characters), \"crc\" (\"good\", \"bad\" or \"unchecked\"), \"reply\" (ms since\n"
    "             the request of the same side it answers, or null). Logs and capture file\n"
    "             are written as without it.\n"
    "\n"
    "Exit codes: 0 the run ended by time or Ctrl-C, 1 the run could not start, an exchange\n"
    "failed or a log file or FILE could not be written (the message is on stderr), 2 bad\n"
    "usage, 3 no device.\n";

/// The listing's "let events run" between records: the only event here is an interrupt,
/// which becomes the run's stop request, so the reply in hand ends the run.
class InterruptPump final : public core::EventPump
{
public:
    void processEvents() override
    {
        if (interrupted() && run)
            run->requestStop();
    }
    monitor::MonitorRun *run = nullptr;
};

struct MonitorOptions
{
    std::optional<std::chrono::seconds> seconds;
    std::optional<std::string> logDir;
    std::optional<std::string> raw;
    bool json = false;
};

std::optional<MonitorOptions> parseMonitorOptions(const CommandLine &commandLine,
                                                  std::string &problem)
{
    MonitorOptions options;
    if (!commandLine.positional().empty()) {
        problem = "unexpected argument '" + commandLine.positional().front() + "'";
        return std::nullopt;
    }
    if (const auto text = commandLine.value(QStringLiteral("seconds"))) {
        if (text->empty() || text->size() > 9 ||
            text->find_first_not_of("0123456789") != std::string::npos) {
            problem = "--seconds needs a whole number of seconds, not '" + *text + "'";
            return std::nullopt;
        }
        options.seconds = std::chrono::seconds(std::stol(*text));
    }
    options.logDir = commandLine.value(QStringLiteral("log-dir"));
    options.raw = commandLine.value(QStringLiteral("raw"));
    options.json = commandLine.isSet(QStringLiteral("json"));
    return options;
}

/// The stored log directory, as the windows read it at start-up.
QString storedLogPath()
{
    session::QtSettingsStore store;
    return session::loadLogPath(store,
                                QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

/// Starts the --raw file empty, replacing a regular file of that name (never through a link,
/// nor into a pipe or a device); false after telling why. The run then writes the capture there.
bool startRawFile(const std::filesystem::path &path)
{
    QString reason;
    if (core::writeFileAtomically(path, {}, &reason))
        return true;
    std::fprintf(stderr, "xltctl monitor: cannot write '%s': %s\n", shownPath(path).c_str(),
                 printable(core::fromQString(reason)).c_str());
    return false;
}

/// A monitor list that prints each of its side's records as one JSON object on a line (JSON
/// Lines) when the listing has added its five lines: the packet number and the decoded text as
/// the listing made them, the CRC verdict and the reply time as the window reckons them.
class JsonList final : public monitor::LineList
{
public:
    explicit JsonList(const char *side)
        : m_side(QLatin1String(side))
    {}
    std::size_t count() const override { return m_count; }
    void clear() override { m_count = 0; }
    void add(const std::string &line) override
    {
        m_lines.push_back(line);
        ++m_count;
    }
    void selectLast() override {}
    void recordDone(const monitor::ListedRecord &record) override
    {
        const monitor::CrcVerdict crc =
            record.complete ? monitor::checkFrameCrc(record.frame) : monitor::CrcVerdict::Unchecked;
        const auto reply = m_summary.take(record.tag, record.offsetMs, crc);
        // The record's lines: "Packet #N ---", the time offset, the hex, the decoded text, " ".
        const std::string &packetLine = m_lines.at(m_lines.size() - 5);
        const std::string hex = monitor::captureReplyLine(record.frame);
        const QJsonObject object{
            {"run", QString::fromStdString(monitor::captureTime(run->startedAt()))},
            {"side", m_side},
            {"direction", monitor::isReplyTag(record.tag) ? "rx" : "tx"},
            {"packet", std::stod(packetLine.substr(std::strlen("Packet #")))},
            {"offset", static_cast<double>(record.offsetMs)},
            {"hex", QString::fromLatin1(hex.data(), qsizetype(hex.empty() ? 0 : hex.size() - 1))},
            {"text", core::toQString(m_lines.at(m_lines.size() - 2))},
            {"crc", crc == monitor::CrcVerdict::Good  ? "good"
                    : crc == monitor::CrcVerdict::Bad ? "bad"
                                                      : "unchecked"},
            {"reply", reply ? QJsonValue(static_cast<double>(*reply)) : QJsonValue()}};
        m_lines.clear();
        // Qt escapes the controls below 0x20; DEL and the C1 controls, which some terminals
        // obey too, are escaped here (in UTF-8 they are 7F and C2 80 to C2 9F, inside strings).
        const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
        std::string line;
        line.reserve(static_cast<std::size_t>(json.size()) + 1);
        for (qsizetype k = 0; k < json.size(); ++k) {
            const auto byte = static_cast<unsigned char>(json[k]);
            const auto next = k + 1 < json.size() ? static_cast<unsigned char>(json[k + 1]) : 0;
            if (byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F)) {
                line += "\\u00";
                core::appendHex2(line, static_cast<std::uint8_t>(byte == 0x7F ? byte : next));
                k += byte == 0x7F ? 0 : 1;
            } else {
                line += static_cast<char>(byte);
            }
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

    const monitor::MonitorRun *run = nullptr;

private:
    QString m_side;
    std::vector<std::string> m_lines; ///< the lines of the record being listed
    std::size_t m_count = 0;
    monitor::SideSummary m_summary;
};

int monitorRun(const std::filesystem::path &logDir, std::optional<std::chrono::seconds> seconds,
               const std::filesystem::path &capturePath, bool json)
{
    CliContext cli;
    PrintingList printedTarget("tgt|");
    PrintingList printedHost("xlt|");
    JsonList jsonTarget("target");
    JsonList jsonHost("host");
    ValueLabel lblTarget;
    ValueLabel lblHost;
    InterruptPump pump;
    monitor::TrafficListing listing(
        json ? static_cast<monitor::LineList &>(jsonTarget) : printedTarget,
        json ? static_cast<monitor::LineList &>(jsonHost) : printedHost, lblTarget, lblHost, pump);
    monitor::MonitorRun run(*cli.device, listing);
    pump.run = &run;
    jsonTarget.run = &run;
    jsonHost.run = &run;

    catchInterrupts();
    std::optional<Clock::time_point> deadline;
    if (seconds)
        deadline = Clock::now() + *seconds;
    const auto timeIsUp = [&deadline] {
        return interrupted() || (deadline && Clock::now() >= *deadline);
    };
    // The run's pause between polls, cut short by an interrupt; the time being up then asks
    // the run to stop, so the next reply is the last.
    cli.line->setPause([&](std::chrono::milliseconds delay) {
        link::sleepUnless(delay, [] { return interrupted(); });
        if (timeIsUp())
            run.requestStop();
        return true;
    });
    monitor::MonitorRun::Events events;
    bool started = false;
    events.started = [&started](monitor::MonitorRun::StartResult result) {
        started = result == monitor::MonitorRun::StartResult::Started;
    };
    events.replied = [](const link::XLTPacket &) { std::fflush(stdout); };
    run.start(logDir, std::move(events), capturePath);
    if (!started)
        return 1;
    if (!json) {
        printLine("label|target|", lblTarget.text);
        printLine("label|host|", lblHost.text);
    }
    std::fflush(stdout);
    const bool failed =
        run.ending() == monitor::MonitorRun::Ending::ExchangeFailed || run.logFailed();
    return failed ? 1 : 0;
}

} // namespace

int runMonitor(const Args &args)
{
    CommandLine commandLine("monitor", kMonitorUsage);
    commandLine.option(QStringLiteral("seconds"), QStringLiteral("N"));
    commandLine.option(QStringLiteral("log-dir"), QStringLiteral("DIR"));
    commandLine.option(QStringLiteral("raw"), QStringLiteral("FILE"));
    commandLine.flag({QStringLiteral("json")});
    if (const auto exitCode = commandLine.parse(args))
        return *exitCode;
    std::string problem;
    const auto options = parseMonitorOptions(commandLine, problem);
    if (!options)
        return commandLine.usageError(problem);
    std::filesystem::path logDir;
    if (options->logDir) {
        logDir = pathArgument(*options->logDir);
        if (!core::isFolder(logDir))
            return commandLine.usageError("log directory '" + shownPath(logDir) +
                                          "' does not exist");
    } else {
        logDir = core::toPath(storedLogPath());
    }
    // A file that cannot be written is a failed write (exit 1), as a log file is.
    std::filesystem::path capturePath;
    if (options->raw) {
        capturePath = pathArgument(*options->raw);
        if (!startRawFile(capturePath))
            return 1;
    }
    return monitorRun(logDir, options->seconds, capturePath, options->json);
}

} // namespace xlt::cli
