// xltctl monitor: the traffic monitor's run without a window. The same run as the window's
// polls the device every 50 ms (from the end of one poll to the start of the next); this prints
// every listed line and the run writes its two log files, until the time is up or it is
// interrupted.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "PrintingList.h"
#include "core/Text.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficListing.h"
#include "session/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

constexpr char kUsage[] =
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
    "             hexadecimal bytes; 'xltctl decode --replies FILE' lists them again.\n"
    "\n"
    "Exit codes: 0 the run ended by time or Ctrl-C, 1 the run could not start, an exchange\n"
    "failed or a log file could not be written (the message is on stderr), 2 bad usage,\n"
    "3 no device.\n";

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

struct Options
{
    std::optional<std::chrono::seconds> seconds;
    std::optional<std::string> logDir;
    std::optional<std::string> raw;
};

std::optional<Options> parseOptions(const CommandLine &commandLine, std::string &problem)
{
    Options options;
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

/// The reply of the capture-read that has just been listed, as one line of hex.
void writeRaw(std::FILE *raw, const link::XLTPacket &packet)
{
    if (packet.ReplyLength == 0)
        return;
    std::string line;
    for (std::size_t k = 0; k < packet.ReplyLength; ++k) {
        core::appendHex2(line, packet.ReplyData[k]);
        line += k + 1 < packet.ReplyLength ? ' ' : '\n';
    }
    std::fwrite(line.data(), 1, line.size(), raw);
    std::fflush(raw);
}

int monitorRun(const QString &logDir, std::optional<std::chrono::seconds> seconds, std::FILE *raw)
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
            writeRaw(raw, reply);
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
    CommandLine commandLine("monitor", kUsage);
    commandLine.option(QStringLiteral("seconds"), QStringLiteral("N"));
    commandLine.option(QStringLiteral("log-dir"), QStringLiteral("DIR"));
    commandLine.option(QStringLiteral("raw"), QStringLiteral("FILE"));
    if (const auto exitCode = commandLine.parse(args))
        return *exitCode;
    std::string problem;
    const auto options = parseOptions(commandLine, problem);
    if (!options)
        return commandLine.usageError(problem);
    QString logDir;
    if (options->logDir) {
        logDir = pathArgument(*options->logDir);
        if (!QFileInfo(logDir).isDir())
            return commandLine.usageError("log directory '" + *options->logDir +
                                          "' does not exist");
    } else {
        logDir = storedLogPath();
    }
    std::FILE *raw = nullptr;
    if (options->raw) {
        raw = std::fopen(options->raw->c_str(), "wb");
        if (!raw) {
            std::fprintf(stderr, "xltctl monitor: cannot write '%s'\n", options->raw->c_str());
            return 2;
        }
    }
    const int code = monitorRun(logDir, options->seconds, raw);
    // A write that failed on the way (a full disk) leaves the error flag set; close regardless.
    const bool rawFailed = raw && (std::ferror(raw) != 0) + (std::fclose(raw) != 0) != 0;
    if (rawFailed) {
        std::fprintf(stderr, "xltctl monitor: cannot write '%s'\n", options->raw->c_str());
        return 1;
    }
    return code;
}

} // namespace xlt::cli
