// The monitor run against a scripted link, with exchanges at once or held in flight.
#include "MonitorTest.h"
#include "monitor/MonitorRun.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>
#include <unistd.h>

using namespace xlt;
using namespace xlt::montest;
using monitor::MonitorRun;
using Result = MonitorRun::StartResult;

namespace {

const Bytes kBothSides =
    record(0x35, 250, kSspPoll) + record(0x55, 265, kSspOk) + record(0xAA, 300, kStatusRequest);

/// A run over a scripted link, a device on COM5 and a temporary log directory.
struct RunRig
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    test::ImmediateScheduler scheduler;
    link::DeviceContext device{link, ports, notifier, scheduler};
    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    monitor::TrafficListing listing{target, host, lblTarget, lblHost, pump};
    MonitorRun run{device, listing, [] { return QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59)); }};
    QTemporaryDir logDir;

    RunRig() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}}; }
    QString dir() const { return logDir.path(); }
    /// Start and tick with the fake link's own line: their `done` has run on return.
    Result start(const QString &directory)
    {
        std::optional<Result> result;
        run.start(directory, [&result](Result r) { result = r; });
        EXPECT_TRUE(result.has_value());
        return result.value_or(Result::AlreadyRunning);
    }
    bool tick()
    {
        std::optional<bool> again;
        run.tick([&again](bool more) { again = more; });
        EXPECT_TRUE(again.has_value());
        return again.value_or(false);
    }
    void queue(const Bytes &data) { link.replies.push_back({link::ReplyOk, data}); }
};

struct Run : ::testing::Test, RunRig
{
};

TEST_F(Run, ListsAndLogsEachReplyUntilStopAndTheNextRunGoesOnInTheSameFiles)
{
    ports.records.insert(ports.records.begin(), {"\\Device\\Serial0", "COM1", "/dev/ttyS0"});
    ASSERT_EQ(start(dir()), Result::Started);
    EXPECT_EQ(link.openedPort, 5);
    EXPECT_EQ(std::pair(device.CmdPacket.BaudRate, device.CmdPacket.Timeout),
              std::pair(9600u, 3000u));
    EXPECT_EQ(run.log()->targetPath(), dir() + "/XLT_log_ 05 12 2026 14 03 59.tgt");
    EXPECT_EQ(device.holder, "traffic monitor");
    queue(record(0x35, 1, kSspPoll));
    EXPECT_TRUE(tick());
    EXPECT_FALSE(logLines(run.log()->hostPath())); // only the side that grew is written
    queue(kBothSides);
    run.requestStop(); // the tick ends the run after its reply
    EXPECT_FALSE(tick());
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x02, 0x01}, {0x01}, {0x01}}));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(device.holder, "");
    EXPECT_FALSE(tick()); // idle: nothing is sent

    ASSERT_EQ(start(dir()), Result::Started); // in the same second
    queue(kBothSides);
    EXPECT_TRUE(tick());
    EXPECT_EQ(logLines(run.log()->targetPath()), target.history);
    EXPECT_EQ(logLines(run.log()->hostPath()), host.history);
    EXPECT_EQ(target.history.size(), 25u);
    EXPECT_EQ(link.sent.size(), 5u);
    EXPECT_TRUE(notifier.messages.empty());
}

// Run refuses while another window holds the device; no failed start leaves the port open.
TEST_F(Run, StartThatFailsLeavesTheRunIdleAndTheDeviceFree)
{
    const std::tuple<Result, int, Lines> cases[] = {
        {Result::NoDevice, 0, {"No XLT device detected"}},
        {Result::PortNotOpened, 1, {}},
        {Result::CaptureStartFailed, 1, {"XLT Command transmission error COMMAND TIME_OUT"}},
        {Result::Refused,
         0,
         {"The XLT device is in use by the firmware update. Stop it first, then try again."}},
    };
    for (const auto &[result, opens, messages] : cases) {
        SCOPED_TRACE(static_cast<int>(result));
        RunRig f;
        f.ports.records.resize(result == Result::NoDevice ? 0 : 1);
        f.link.openSucceeds = result != Result::PortNotOpened;
        f.link.replies.push_back({link::CommandTimeOut, {}});
        f.device.holder = result == Result::Refused ? "firmware update" : "";
        EXPECT_EQ(f.start(f.dir()), result);
        EXPECT_EQ(f.notifier.texts(), messages);
        EXPECT_EQ(f.link.openCalls, opens);
        EXPECT_FALSE(f.link.isOpen);
        EXPECT_EQ(f.device.holder, result == Result::Refused ? "firmware update" : "");
        EXPECT_FALSE(f.tick());
    }
}

// Root ignores permission bits: an immutable directory is unwritable even for root.
bool setImmutable(const QString &dir, bool on)
{
    const std::string command =
        (on ? "chattr +i '" : "chattr -i '") + dir.toStdString() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// Told once per run (not every 50 ms); listing goes on, and the files pick up when the
// directory is writable again.
TEST_F(Run, UnwritableLogDirectoryIsToldOncePerRun)
{
    ASSERT_EQ(start(dir()), Result::Started);
    for (int i = 0; i < 3; ++i)
        queue(kBothSides);
    if (!setImmutable(logDir.path(), true))
        GTEST_SKIP() << "cannot make a folder unwritable (needs root and chattr +i)";
    const bool ticked = tick() && tick();
    setImmutable(logDir.path(), false);
    EXPECT_TRUE(ticked);
    ASSERT_EQ(notifier.messages.size(), 1u);
    for (const QString &path : {run.log()->targetPath(), run.log()->hostPath()})
        EXPECT_NE(notifier.messages[0].text.find(path.toStdString()), std::string::npos)
            << path.toStdString();
    EXPECT_EQ(target.lines.size(), 20u);
    EXPECT_TRUE(tick());
    EXPECT_EQ(logLines(run.log()->targetPath())->size(), 10u); // the third reply
    run.end();

    run.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 4, 0)); });
    ASSERT_EQ(start(dir()), Result::Started);
    queue(kBothSides);
    ASSERT_TRUE(setImmutable(logDir.path(), true));
    const bool tickedAgain = tick();
    setImmutable(logDir.path(), false);
    EXPECT_TRUE(tickedAgain);
    EXPECT_EQ(notifier.messages.size(), 2u); // the next run is told again
}

// Each failing file is told once: a host file that fails after the target file was told is
// told too, and neither again.
TEST_F(Run, EachFailingLogFileIsToldOnce)
{
    ASSERT_EQ(start(dir()), Result::Started);
    const auto failWith = [](const QString &path) {
        return symlink("/dev/full", QFile::encodeName(path).constData()) == 0;
    };
    ASSERT_TRUE(failWith(run.log()->targetPath()));
    queue(record(0x35, 1, kSspPoll) + record(0xAA, 2, kStatusRequest));
    queue(kBothSides);
    EXPECT_TRUE(tick());
    ASSERT_TRUE(failWith(run.log()->hostPath() + ".new") && QFile::remove(run.log()->hostPath()) &&
                QFile::rename(run.log()->hostPath() + ".new", run.log()->hostPath()));
    EXPECT_TRUE(tick());
    queue(kBothSides);
    EXPECT_TRUE(tick());
    ASSERT_EQ(notifier.messages.size(), 2u);
    EXPECT_NE(notifier.messages[0].text.find(run.log()->targetPath().toStdString()),
              std::string::npos);
    EXPECT_EQ(notifier.messages[0].text.find(run.log()->hostPath().toStdString()),
              std::string::npos);
    EXPECT_NE(notifier.messages[1].text.find(run.log()->hostPath().toStdString()),
              std::string::npos);
    EXPECT_EQ(notifier.messages[1].text.find(run.log()->targetPath().toStdString()),
              std::string::npos);
    EXPECT_TRUE(run.logFailed());
}

// A new Run numbers packets from 0 again on both sides.
TEST_F(Run, PacketNumbersStartAtZeroOnEveryRun)
{
    for (int runNumber = 0; runNumber < 2; ++runNumber) {
        ASSERT_EQ(start(dir()), Result::Started);
        queue(kBothSides + record(0x35, 400, kSspPoll));
        run.requestStop();
        EXPECT_FALSE(tick());
        EXPECT_EQ(listing.TargetPacketCount, 3) << runNumber;
        EXPECT_EQ(listing.HostPacketCount, 1) << runNumber;
        const Lines &lines = target.history;
        EXPECT_EQ(lines[lines.size() - 15].substr(0, 10), "Packet #0 ") << runNumber;
    }
}

/// A run whose exchanges wait on a manual line, as they wait on a slow device.
struct InFlight : ::testing::Test
{
    test::FakeLink fake;
    test::ManualLine line{fake};
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    test::ImmediateScheduler scheduler;
    link::DeviceContext device{line, ports, notifier, scheduler};
    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    monitor::TrafficListing listing{target, host, lblTarget, lblHost, pump};
    std::optional<MonitorRun> run;
    QTemporaryDir logDir;

    InFlight()
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}};
        run.emplace(device, listing);
    }
    Result started()
    {
        std::optional<Result> result;
        run->start(logDir.path(), [&result](Result r) { result = r; });
        EXPECT_FALSE(result.has_value()) << "nothing decided before the device answers";
        line.runAll();
        return result.value_or(Result::AlreadyRunning);
    }
};

// The device is held from Run until the start's result, and a reply that arrives after the run
// was ended (the window closed) is still listed and logged; the port is closed behind it.
TEST_F(InFlight, EndedRunStillLogsTheReplyInFlightAndClosesThePort)
{
    ASSERT_EQ(started(), Result::Started);
    fake.replies.push_back({link::ReplyOk, kBothSides});
    std::optional<bool> again;
    run->tick([&again](bool more) { again = more; });
    run->end();
    EXPECT_EQ(device.holder, "");
    EXPECT_EQ(line.runAll(), 2); // the capture-read, then the close queued by end()
    EXPECT_EQ(again, false);
    EXPECT_FALSE(fake.isOpen);
    EXPECT_EQ(logLines(run->log()->targetPath()), target.history);
    EXPECT_EQ(target.history.size(), 10u);
}

// Ended while the start is under way: the start reports Ended and the port ends up closed.
TEST_F(InFlight, EndDuringTheStartClosesThePort)
{
    std::optional<Result> result;
    run->start(logDir.path(), [&result](Result r) { result = r; });
    EXPECT_TRUE(run->starting());
    EXPECT_EQ(device.holder, "traffic monitor");
    run->end();
    line.runAll();
    EXPECT_EQ(result, Result::Ended);
    EXPECT_FALSE(run->running());
    EXPECT_FALSE(fake.isOpen);
}

// Stop pressed while the start waits for the device is not lost: the first poll ends the run.
TEST_F(InFlight, StopDuringTheStartEndsTheRunAtTheFirstPoll)
{
    std::optional<Result> result;
    run->start(logDir.path(), [&result](Result r) { result = r; });
    run->requestStop();
    line.runAll();
    ASSERT_EQ(result, Result::Started);
    std::optional<bool> again;
    run->tick([&again](bool more) { again = more; });
    line.runAll();
    EXPECT_EQ(again, false);
    EXPECT_EQ(run->ending(), MonitorRun::Ending::Stopped);
    EXPECT_FALSE(fake.isOpen);
}

// The run destroyed with a request in flight: the result is dropped, nothing freed is touched.
TEST_F(InFlight, DestroyedRunDropsTheResult)
{
    ASSERT_EQ(started(), Result::Started);
    bool called = false;
    run->tick([&called](bool) { called = true; });
    run.reset();
    line.runAll();
    EXPECT_FALSE(called);
    EXPECT_FALSE(fake.isOpen);
    EXPECT_EQ(device.holder, "");
}

} // namespace
