// The monitor run against a scripted link, and the pump that paces window events.
#include "MonitorTest.h"
#include "monitor/MonitorRun.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
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
    link::DeviceContext device{link, ports, notifier, pump};
    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    monitor::TrafficListing listing{target, host, lblTarget, lblHost, pump};
    MonitorRun run{device, listing, [] { return QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59)); }};
    QTemporaryDir logDir;

    RunRig() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}}; }
    QString dir() const { return logDir.path(); }
    void queue(const Bytes &data) { link.replies.push_back({link::ReplyOk, data}); }
};

struct Run : ::testing::Test, RunRig
{
};

TEST_F(Run, ListsAndLogsEachReplyUntilStopAndTheNextRunGoesOnInTheSameFiles)
{
    ports.records.insert(ports.records.begin(), {"\\Device\\Serial0", "COM1", "/dev/ttyS0"});
    ASSERT_EQ(run.start(dir()), Result::Started);
    EXPECT_EQ(link.openedPort, 5);
    EXPECT_EQ(std::pair(device.CmdPacket.BaudRate, device.CmdPacket.Timeout),
              std::pair(9600u, 3000u));
    EXPECT_EQ(run.log()->targetPath(), dir() + "/XLT_log_ 05 12 2026 14 03 59.tgt");
    EXPECT_EQ(device.holder, "traffic monitor");
    queue(record(0x35, 1, kSspPoll));
    EXPECT_TRUE(run.tick());
    EXPECT_FALSE(logLines(run.log()->hostPath())); // only the side that grew is written
    queue(kBothSides);
    run.requestStop(); // the tick ends the run after its reply
    EXPECT_FALSE(run.tick());
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x02, 0x01}, {0x01}, {0x01}}));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(device.holder, "");
    EXPECT_FALSE(run.tick()); // idle: nothing is sent

    ASSERT_EQ(run.start(dir()), Result::Started); // in the same second
    queue(kBothSides);
    EXPECT_TRUE(run.tick());
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
        EXPECT_EQ(f.run.start(f.dir()), result);
        EXPECT_EQ(f.notifier.texts(), messages);
        EXPECT_EQ(f.link.openCalls, opens);
        EXPECT_FALSE(f.link.isOpen);
        EXPECT_EQ(f.device.holder, result == Result::Refused ? "firmware update" : "");
        EXPECT_FALSE(f.run.tick());
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
    ASSERT_EQ(run.start(dir()), Result::Started);
    for (int i = 0; i < 3; ++i)
        queue(kBothSides);
    if (!setImmutable(logDir.path(), true))
        GTEST_SKIP() << "cannot make a folder unwritable (needs root and chattr +i)";
    const bool ticked = run.tick() && run.tick();
    setImmutable(logDir.path(), false);
    EXPECT_TRUE(ticked);
    ASSERT_EQ(notifier.messages.size(), 1u);
    for (const QString &path : {run.log()->targetPath(), run.log()->hostPath()})
        EXPECT_NE(notifier.messages[0].text.find(path.toStdString()), std::string::npos)
            << path.toStdString();
    EXPECT_EQ(target.lines.size(), 20u);
    EXPECT_TRUE(run.tick());
    EXPECT_EQ(logLines(run.log()->targetPath())->size(), 10u); // the third reply
    run.end();

    run.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 4, 0)); });
    ASSERT_EQ(run.start(dir()), Result::Started);
    queue(kBothSides);
    ASSERT_TRUE(setImmutable(logDir.path(), true));
    const bool tickedAgain = run.tick();
    setImmutable(logDir.path(), false);
    EXPECT_TRUE(tickedAgain);
    EXPECT_EQ(notifier.messages.size(), 2u); // the next run is told again
}

// Each failing file is told once: a host file that fails after the target file was told is
// told too, and neither again.
TEST_F(Run, EachFailingLogFileIsToldOnce)
{
    ASSERT_EQ(run.start(dir()), Result::Started);
    const auto failWith = [](const QString &path) {
        return symlink("/dev/full", QFile::encodeName(path).constData()) == 0;
    };
    ASSERT_TRUE(failWith(run.log()->targetPath()));
    queue(record(0x35, 1, kSspPoll) + record(0xAA, 2, kStatusRequest));
    queue(kBothSides);
    EXPECT_TRUE(run.tick());
    ASSERT_TRUE(failWith(run.log()->hostPath() + ".new") && QFile::remove(run.log()->hostPath()) &&
                QFile::rename(run.log()->hostPath() + ".new", run.log()->hostPath()));
    EXPECT_TRUE(run.tick());
    queue(kBothSides);
    EXPECT_TRUE(run.tick());
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

// Window events run at most once per interval while a reply is listed, measured from the last
// pass; a requested pass (a list was just emptied) and pumpFor() always go through.
TEST(ThrottledPump, ForwardsOnlyWhenTheIntervalHasPassed)
{
    using namespace std::chrono_literals;
    test::CountingPump inner;
    monitor::ThrottledPump::TimePoint t{};
    monitor::ThrottledPump pump(inner, 10ms, [&] { return t; });
    pump.restart();
    for (const auto &[at, forwarded] : {std::pair{9ms, 0}, {10ms, 1}, {19ms, 1}, {45ms, 2}}) {
        t = monitor::ThrottledPump::TimePoint{} + at;
        pump.processEvents();
        EXPECT_EQ(inner.calls, forwarded) << "at " << at.count() << " ms";
    }
    pump.requestPass();
    pump.processEvents();
    pump.pumpFor(250ms);
    EXPECT_EQ(inner.calls, 3);
    EXPECT_EQ(inner.pumpedMs, 250);
}

} // namespace
