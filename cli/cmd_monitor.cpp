// xltctl monitor: the traffic monitor's run without a window. The same run as the window's
// polls the device every 50 ms (from the end of one poll to the start of the next); this prints
// every listed line and the run writes its two log files, until the time is up or it is
// interrupted.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "PrintingList.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficListing.h"
#include "session/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace xlt::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kMonitorUsage[] =
    "usage: xltctl monitor [--seconds N] [--log-dir DIR] [--raw FILE]\n"
    "\n"
    "Finds the device, starts its traffic capture and fetches the captured frames every 50 ms,\n"
    "as the monitor window's Run does. Prints each target line as tgt|LINE and each host line\n"
    "as xlt|LINE as they are listed, and at the end label|target|TEXT and label|host|TEXT.\n"
    "Writes the run's two log files (XLT_log_ dd mm yyyy hh mm ss.tgt and .xlt) in DIR, or\n"
    "without --log-dir in the stored log directory.\n"
    "\n"
    "--seconds N  ends the run after N seconds (whole number); without it the run goes on\n"
    "             until Ctrl-C. Either way the reply in hand is listed and logged first.\n"
    "--raw FILE   also writes each capture-read reply that holds bytes to FILE as one line of\n"
    "             hexadecimal bytes; 'xltctl decode --replies FILE' lists them again. FILE is\n"
    "             started empty (a file of that name is replaced; a link, a pipe or a device\n"
    "             is refused) and holds whole lines only: a line that cannot be written (a\n"
    "             full disk) is told at once and left out, and the run goes on.\n"
    "\n"
    "Exit codes: 0 the run ended by time or Ctrl-C, 1 the run could not start, an exchange\n"
    "failed or a log file or FILE could not be written (the message is on stderr), 2 bad\n"
    "usage, 3 no device.\n";

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

/// Ctrl-C (and SIGTERM) ask the run to stop; a second one ends the process at once, for a
/// device stuck in a time-out.
void catchInterrupts()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

/// The listing's "let events run" between records: the only event here is an interrupt,
/// which becomes the run's stop request, so the reply in hand ends the run.
class InterruptPump final : public core::EventPump
{
public:
    void processEvents() override
    {
        if (g_interrupted && run)
            run->requestStop();
    }
    monitor::MonitorRun *run = nullptr;
};

struct MonitorOptions
{
    std::optional<std::chrono::seconds> seconds;
    std::optional<std::string> logDir;
    std::optional<std::string> raw;
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
    return options;
}

/// The stored log directory, as the windows read it at start-up.
QString storedLogPath()
{
    session::QtSettingsStore store;
    return session::loadLogPath(store,
                                QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

/// The --raw file: each capture-read reply that holds bytes, as one line of hex appended whole
/// or not at all, so that decode --replies can read whatever the file holds. A failed write is
/// told when it happens, once; later replies keep trying, as the run's log files do.
class RawFile
{
public:
    explicit RawFile(std::filesystem::path path)
        : m_path(std::move(path))
    {}

    /// Starts the file empty, replacing a regular file of that name (never through a link, nor
    /// into a pipe or a device); false after telling why.
    bool start()
    {
        QString reason;
        if (core::writeFileAtomically(m_path, {}, &reason))
            return true;
        fail(reason);
        return false;
    }

    void write(const link::XLTPacket &packet)
    {
        if (packet.ReplyLength == 0)
            return;
        std::string line;
        for (std::size_t k = 0; k < packet.ReplyLength; ++k) {
            core::appendHex2(line, packet.ReplyData[k]);
            line += k + 1 < packet.ReplyLength ? ' ' : '\n';
        }
        QString reason;
        if (!core::appendWhole(m_path, QByteArrayView(line.data(), qsizetype(line.size())),
                               &reason))
            fail(reason);
    }

    bool failed() const { return m_failed; }

private:
    void fail(const QString &reason)
    {
        if (m_failed)
            return;
        m_failed = true;
        std::fflush(stdout);
        std::fprintf(stderr, "xltctl monitor: cannot write '%s': %s\n", shownPath(m_path).c_str(),
                     printable(core::fromQString(reason)).c_str());
    }

    std::filesystem::path m_path;
    bool m_failed = false;
};

int monitorRun(const std::filesystem::path &logDir, std::optional<std::chrono::seconds> seconds,
               RawFile *raw)
{
    CliContext cli;
    PrintingList target("tgt|");
    PrintingList host("xlt|");
    ValueLabel lblTarget;
    ValueLabel lblHost;
    InterruptPump pump;
    monitor::TrafficListing listing(target, host, lblTarget, lblHost, pump);
    monitor::MonitorRun run(*cli.device, listing);
    pump.run = &run;

    catchInterrupts();
    std::optional<Clock::time_point> deadline;
    if (seconds)
        deadline = Clock::now() + *seconds;
    const auto timeIsUp = [&deadline] {
        return g_interrupted || (deadline && Clock::now() >= *deadline);
    };
    // The run's pause between polls, cut short by an interrupt; the time being up then asks
    // the run to stop, so the next reply is the last.
    cli.line->setPause([&](std::chrono::milliseconds delay) {
        link::sleepUnless(delay, [] { return g_interrupted != 0; });
        if (timeIsUp())
            run.requestStop();
        return true;
    });
    monitor::MonitorRun::Events events;
    bool started = false;
    events.started = [&started](monitor::MonitorRun::StartResult result) {
        started = result == monitor::MonitorRun::StartResult::Started;
    };
    events.replied = [raw](const link::XLTPacket &reply) {
        if (raw)
            raw->write(reply);
        std::fflush(stdout);
    };
    run.start(logDir, std::move(events));
    if (!started)
        return 1;
    printLine("label|target|", lblTarget.text);
    printLine("label|host|", lblHost.text);
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
    std::optional<RawFile> raw;
    if (options->raw) {
        raw.emplace(pathArgument(*options->raw));
        if (!raw->start())
            return 1;
    }
    const int code = monitorRun(logDir, options->seconds, raw ? &*raw : nullptr);
    return raw && raw->failed() ? 1 : code;
}

} // namespace xlt::cli
