// The monitor run without a window (start, stop and end during a reply, log failures) against a
// scripted link, and xltctl monitor against the emulator on a pseudo-terminal. The window tests
// cover the ordinary run, Stop, Clear List and failed exchanges.
#include "link/XLTPacket.h"
#include "monitor/MonitorRun.h"
#include "sim/DeviceModel.h"
#include "sim/PtyServer.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>

using namespace xlt;
using monitor::MonitorRun;
using Bytes = std::vector<std::uint8_t>;

namespace {

/// A list that also remembers every line ever added, cleared or not.
class RecordingList final : public monitor::LineList
{
public:
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override
    {
        lines.push_back(line);
        history.push_back(line);
    }
    void selectLast() override {}
    std::vector<std::string> lines;
    std::vector<std::string> history;
};

class RecordingLabel final : public monitor::TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

Bytes record(std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    Bytes out{tag,
              static_cast<std::uint8_t>(offset),
              static_cast<std::uint8_t>(offset >> 8),
              static_cast<std::uint8_t>(offset >> 16),
              static_cast<std::uint8_t>(offset >> 24),
              static_cast<std::uint8_t>(frame.size())};
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kSspPoll{0x7F, 0x80, 0x01, 0x07, 0x12, 0x02};
const Bytes kSspOk{0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80};
const Bytes kId003Status{0xFC, 0x05, 0x11, 0x27, 0x56};

const Bytes kBothSides = concat({record(monitor::kTagTargetTx, 250, kSspPoll),
                                 record(monitor::kTagTargetRx, 265, kSspOk),
                                 record(monitor::kTagHostTx, 300, kId003Status)});

/// The lines of a log file, split at CRLF; nullopt when the file does not exist. Fails the
/// test when the content does not end with CRLF or holds a bare LF.
std::optional<std::vector<std::string>> logLines(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    EXPECT_TRUE(data.isEmpty() || data.endsWith("\r\n")) << path;
    QList<QByteArray> parts = data.split('\n');
    parts.removeLast(); // what follows the last LF: empty when the file ends with CRLF
    std::vector<std::string> lines;
    for (const QByteArray &line : parts) {
        EXPECT_TRUE(line.endsWith('\r')) << "bare LF in " << path;
        lines.emplace_back(line.constData(), static_cast<std::size_t>(line.size()) - 1);
    }
    return lines;
}

const QDateTime kRunPressed(QDate(2026, 12, 5), QTime(14, 3, 59));

/// A run over a scripted link, a device on COM5 and a temporary log directory.
struct RunRig
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext device{link, ports, notifier, pump};
    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    monitor::TrafficListing listing{target, host, lblTarget, lblHost, pump};
    QDateTime now = kRunPressed;
    MonitorRun run{device, listing, [this] { return now; }};
    QTemporaryDir logDir;

    RunRig() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}}; }

    std::string dir() const { return logDir.path().toStdString(); }
    std::string targetLog() const { return run.log()->targetPath(); }
    std::string hostLog() const { return run.log()->hostPath(); }

    void startRun()
    {
        ASSERT_EQ(run.start(dir()), MonitorRun::StartResult::Started);
        link.sent.clear();
    }
    void queue(const Bytes &data, std::uint8_t status = link::ReplyOk)
    {
        link.replies.push_back({status, data});
    }
};

struct RunFixture : ::testing::Test, RunRig
{
};

TEST_F(RunFixture, StartFindsTheDeviceOpensItAndStartsCapture)
{
    ports.records.insert(ports.records.begin(), {"\\Device\\Serial0", "COM1", "/dev/ttyS0"});
    ASSERT_EQ(run.start(dir()), MonitorRun::StartResult::Started);

    EXPECT_TRUE(run.running());
    EXPECT_EQ(device.XLTPortNumber, 5);
    EXPECT_EQ(link.openedPort, 5);
    EXPECT_EQ(device.CmdPacket.BaudRate, 9600u);
    EXPECT_EQ(device.CmdPacket.Timeout, 3000u);
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x02, 0x01}}));
    EXPECT_EQ(run.LogBaseName(), "XLT_log_ 05 12 2026 14 03 59");
    EXPECT_EQ(device.holder, "traffic monitor");
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(RunFixture, StartThatFailsLeavesTheRunIdleAndTheDeviceFree)
{
    struct Case
    {
        const char *name;
        std::function<void(RunRig &)> arrange;
        MonitorRun::StartResult result;
        std::vector<std::string> messages;
        int opens;
        int closes;
    };
    const std::vector<Case> cases = {
        {"no device",
         [](RunRig &f) { f.ports.records.clear(); },
         MonitorRun::StartResult::NoDevice,
         {"No XLT device detected"},
         0,
         0},
        {"port does not open",
         [](RunRig &f) { f.link.openSucceeds = false; },
         MonitorRun::StartResult::PortNotOpened,
         {},
         1,
         0},
        {"capture-start times out",
         [](RunRig &f) { f.queue({}, link::CommandTimeOut); },
         MonitorRun::StartResult::CaptureStartFailed,
         {"XLT Command transmission error COMMAND TIME_OUT"},
         1,
         1},
        {"device held elsewhere",
         [](RunRig &f) { f.device.holder = "firmware update"; },
         MonitorRun::StartResult::Refused,
         {"The XLT device is in use by the firmware update. Stop it first, then try again."},
         0,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RunRig f;
        c.arrange(f);
        f.listing.HostPacketCount = 7;
        EXPECT_EQ(f.run.start(f.dir()), c.result);
        // Counts and base name are reset before the port is opened.
        const bool reset = c.opens > 0;
        EXPECT_EQ(f.listing.HostPacketCount, reset ? 0 : 7);
        EXPECT_EQ(f.run.LogBaseName().empty(), !reset);
        EXPECT_FALSE(f.run.running());
        EXPECT_EQ(f.notifier.texts(), c.messages);
        EXPECT_EQ(f.link.openCalls, c.opens);
        EXPECT_EQ(f.link.closeCalls, c.closes);
        EXPECT_FALSE(f.link.isOpen);
        EXPECT_EQ(f.device.holder,
                  c.result == MonitorRun::StartResult::Refused ? "firmware update" : "");
        EXPECT_FALSE(f.run.tick()); // idle: nothing is sent
        EXPECT_EQ(f.link.sent.size(), c.result == MonitorRun::StartResult::CaptureStartFailed);
    }
}

TEST_F(RunFixture, StopDuringTheListingEndsThatTick)
{
    startRun();
    queue(kBothSides);
    pump.onPump = [this] { run.requestStop(); };
    EXPECT_FALSE(run.tick());
    EXPECT_EQ(target.lines.size(), 10u);
    EXPECT_EQ(host.lines.size(), 5u);
}

TEST_F(RunFixture, EndDuringTheListingClosesThePortAndStillLogsTheReply)
{
    startRun();
    queue(kBothSides);
    pump.onPump = [this] { run.end(); };
    EXPECT_FALSE(run.tick());
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(link.closeCalls, 1);
    EXPECT_EQ(device.holder, "");
    EXPECT_EQ(logLines(targetLog()), target.history);
    EXPECT_EQ(logLines(hostLog()), host.history);
}

TEST_F(RunFixture, DestroyingARunningRunClosesThePort)
{
    {
        MonitorRun other(device, listing);
        ASSERT_EQ(other.start(dir()), MonitorRun::StartResult::Started);
        EXPECT_TRUE(link.isOpen);
    }
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(device.holder, "");
}

TEST_F(RunFixture, UnwritableLogIsReportedOncePerRunAndListingGoesOn)
{
    startRun();
    // A directory where the target file should be: that file cannot be opened, the host one can.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(targetLog())));
    for (int i = 0; i < 3; ++i)
        queue(kBothSides);

    EXPECT_TRUE(run.tick());
    EXPECT_TRUE(run.tick());
    EXPECT_TRUE(run.tick());

    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0].icon, core::Icon::Exclamation);
    EXPECT_NE(notifier.messages[0].text.find(targetLog()), std::string::npos);
    EXPECT_EQ(notifier.messages[0].text.find(hostLog()), std::string::npos);
    EXPECT_EQ(target.lines.size(), 30u);
    EXPECT_EQ(logLines(hostLog()), host.history);

    // The next run is told again.
    run.requestStop();
    queue({});
    EXPECT_FALSE(run.tick());
    startRun();
    queue(kBothSides);
    EXPECT_TRUE(run.tick());
    EXPECT_EQ(notifier.messages.size(), 2u);
}

TEST_F(RunFixture, MissingLogDirectoryIsReportedAndLaterRepliesPickUpWhenItAppears)
{
    const QString missing = logDir.path() + QStringLiteral("/not yet");
    ASSERT_EQ(run.start(missing.toStdString()), MonitorRun::StartResult::Started);
    queue(kBothSides);
    queue(kBothSides);
    EXPECT_TRUE(run.tick());
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].text.find(".tgt"), std::string::npos);
    EXPECT_NE(notifier.messages[0].text.find(".xlt"), std::string::npos);

    ASSERT_TRUE(QDir().mkpath(missing));
    EXPECT_TRUE(run.tick());
    EXPECT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(logLines(targetLog())->size(), 10u); // the second reply's lines
}

// ThrottledPump: events run at most once per interval, measured from the last pass.
TEST(ThrottledPump, ForwardsOnlyWhenTheIntervalHasPassed)
{
    using namespace std::chrono_literals;
    test::CountingPump inner;
    monitor::ThrottledPump::TimePoint t{};
    monitor::ThrottledPump pump(inner, 10ms, [&] { return t; });

    struct Step
    {
        std::chrono::milliseconds at;
        int forwardedSoFar;
    };
    pump.restart(); // at 0
    for (const Step &step : {Step{0ms, 0}, Step{9ms, 0}, Step{10ms, 1}, Step{15ms, 1},
                             Step{19ms, 1}, Step{20ms, 2}, Step{45ms, 3}}) {
        t = monitor::ThrottledPump::TimePoint{} + step.at;
        pump.processEvents();
        EXPECT_EQ(inner.calls, step.forwardedSoFar) << "at " << step.at.count() << " ms";
    }

    pump.setInterval(0ms);
    pump.processEvents();
    pump.processEvents();
    EXPECT_EQ(inner.calls, 5);

    pump.setInterval(10ms);
    pump.restart();
    pump.requestPass(); // forwarded at once, once
    pump.processEvents();
    pump.processEvents();
    EXPECT_EQ(inner.calls, 6);

    pump.pumpFor(250ms); // always forwarded
    EXPECT_EQ(inner.pumpedMs, 250);
}

// xltctl monitor against the emulator on a pseudo-terminal, through the real serial link.
struct MonitorCliFixture : ::testing::Test
{
    QTemporaryDir registry;
    QTemporaryDir config;
    QTemporaryDir logDir;
    std::unique_ptr<sim::PtyServer> server;

    void serve()
    {
        sim::DeviceOptions options;
        options.traffic = sim::TrafficLevel::Flood;
        std::string error;
        server = sim::PtyServer::start(options, {registry.path().toStdString()}, error);
        ASSERT_TRUE(server) << error;
    }

    void launch(QProcess &process, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XLT_SIM_DIR"), registry.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"),
                      QStringList{QStringLiteral("monitor")} + args);
        ASSERT_TRUE(process.waitForStarted());
    }

    /// The printed lines of one list ("tgt|" or "xlt|"), without their prefix.
    static QStringList printed(const QStringList &out, const QString &prefix)
    {
        QStringList lines;
        for (const QString &line : out) {
            if (line.startsWith(prefix))
                lines << line.mid(prefix.size());
        }
        return lines;
    }

    /// Checks the end of the output and that the log files hold exactly the printed lines.
    void expectLoggedAsPrinted(const QStringList &out, const QString &logPath)
    {
        ASSERT_GE(out.size(), 2);
        EXPECT_EQ(out[out.size() - 2], QStringLiteral("label|target|SSP"));
        EXPECT_EQ(out.last(), QStringLiteral("label|host|PR01"));
        const QDir dir(logPath);
        for (const auto &[prefix, suffix] :
             {std::pair{"tgt|", ".tgt"}, std::pair{"xlt|", ".xlt"}}) {
            const QStringList files = dir.entryList({QStringLiteral("XLT_log_ *") + suffix});
            ASSERT_EQ(files.size(), 1) << suffix;
            const auto logged = logLines(dir.filePath(files[0]).toStdString());
            ASSERT_TRUE(logged);
            QStringList loggedLines;
            for (const std::string &line : *logged)
                loggedLines << QString::fromLatin1(line.c_str());
            const QStringList shown = printed(out, QLatin1String(prefix));
            EXPECT_GT(shown.size(), 50) << suffix;
            EXPECT_EQ(loggedLines, shown) << suffix;
        }
    }

    static QStringList outputLines(QProcess &process)
    {
        QStringList lines = QString::fromLatin1(process.readAllStandardOutput()).split('\n');
        lines.removeLast();
        return lines;
    }
};

TEST_F(MonitorCliFixture, EndsByTimeOrInterruptAndLogsWhatItPrints)
{
    serve();
    for (const bool interrupt : {false, true}) {
        SCOPED_TRACE(interrupt ? "Ctrl-C" : "--seconds 1");
        const QString dir = logDir.filePath(interrupt ? "interrupt" : "time");
        ASSERT_TRUE(QDir().mkpath(dir));
        QProcess process;
        launch(process, interrupt ? QStringList{"--log-dir", dir}
                                  : QStringList{"--seconds", "1", "--log-dir", dir});
        if (interrupt) {
            ASSERT_TRUE(process.waitForReadyRead(5000));
            QTest::qWait(300);
            ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        }
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        expectLoggedAsPrinted(outputLines(process), dir);
    }
}

TEST_F(MonitorCliFixture, RefusesWithoutDeviceOrWithAMissingLogDirectory)
{
    struct Case
    {
        QStringList args;
        int exitCode;
        const char *stderrHas;
    };
    const std::vector<Case> cases = {
        {{"--seconds", "1", "--log-dir", logDir.path()}, 1, "xltctl: No XLT device detected"},
        {{"--log-dir", logDir.filePath("missing")}, 2, "does not exist"},
        {{"--seconds", "-1"}, 2, "--seconds needs a whole number"},
        {{"--seconds"}, 2, "--seconds needs a value"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess process;
        launch(process, c.args);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), c.exitCode);
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(process.readAllStandardError().contains(c.stderrHas));
    }
}

} // namespace
