// The monitor run against a scripted link on a line that runs at once: the whole run happens
// inside start(), and the test acts at the pauses before the polls.
#include "MonitorTest.h"
#include "monitor/MonitorRun.h"
#include "support/FakeLink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <unistd.h>

using namespace xlt;
using namespace xlt::montest;
using monitor::MonitorRun;
using Result = MonitorRun::StartResult;
using Ending = MonitorRun::Ending;

namespace {

const Bytes kBothSides =
    record(0x35, 250, kSspPoll) + record(0x55, 265, kSspOk) + record(0xAA, 300, kStatusRequest);

/// A run over a scripted link and a device on COM5. `beforePoll` runs at the pause before each
/// poll (numbered from 1 in each run); at the pause before poll `polls` the stop is requested.
struct RunRig : test::FakeDevice
{
    test::CountingPump pump;
    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    monitor::TrafficListing listing{target, host, lblTarget, lblHost, pump};
    MonitorRun run{context, listing,
                   [] { return QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59)); }};
    QTemporaryDir logDir;

    std::function<void(int poll)> beforePoll;
    int polls = 0;
    int poll = 0;
    /// What the owner heard: "started", "replied", "ended"; the last reply and the ending.
    Lines heard;
    std::optional<link::XLTPacket> lastReply;
    std::optional<Ending> ended;

    RunRig()
    {
        pauses.onPause = [this] {
            ++poll;
            if (beforePoll)
                beforePoll(poll);
            if (poll >= polls)
                run.requestStop();
        };
    }
    QString dir() const { return logDir.path(); }
    /// Starts a run of `pollCount` polls into `directory`; it has ended on return.
    Result start(int pollCount, const QString &directory)
    {
        polls = pollCount;
        poll = 0;
        heard.clear();
        ended.reset();
        std::optional<Result> result;
        MonitorRun::Events events;
        events.started = [this, &result](Result r) {
            result = r;
            heard.push_back("started");
        };
        events.replied = [this](const link::XLTPacket &reply) {
            lastReply = reply;
            heard.push_back("replied");
        };
        events.ended = [this](Ending ending) {
            ended = ending;
            heard.push_back("ended");
        };
        run.start(core::toPath(directory), std::move(events));
        EXPECT_FALSE(run.running() || run.starting());
        return result.value_or(Result::AlreadyRunning);
    }
    Result start(int pollCount) { return start(pollCount, dir()); }
    void queue(const Bytes &data) { link.replies.push_back({link::ReplyOk, data}); }
};

struct Run : ::testing::Test, RunRig
{
};

TEST_F(Run, ListsAndLogsEachReplyUntilStopAndTheNextRunGoesOnInTheSameFiles)
{
    ports.records.insert(ports.records.begin(), {"\\Device\\Serial0", "COM1", "/dev/ttyS0"});
    queue({}); // the capture start
    queue(record(0x35, 1, kSspPoll));
    queue(kBothSides);
    beforePoll = [this](int at) {
        EXPECT_EQ(context.holder, "traffic monitor");
        if (at != 2)
            return;
        EXPECT_FALSE(logLines(run.log()->hostPath())); // only the side that grew is written
        std::optional<Result> again;
        run.start(core::toPath(dir()), {[&again](Result r) { again = r; }, {}, {}});
        EXPECT_EQ(again, Result::AlreadyRunning);
    };
    ASSERT_EQ(start(2), Result::Started);
    EXPECT_EQ(heard, (Lines{"started", "replied", "replied", "ended"}));
    EXPECT_EQ(ended, Ending::Stopped);
    EXPECT_EQ(link.openedPort, 5);
    EXPECT_EQ(std::tuple(lastReply->PortNumber, lastReply->BaudRate, lastReply->Timeout),
              std::tuple(5, 9600u, 3000u));
    EXPECT_EQ(pauses.delays, (std::vector<long long>{50, 50})); // each poll 50 ms after a reply
    EXPECT_EQ(run.log()->targetPath(), core::toPath(dir() + "/XLT_log_ 05 12 2026 14 03 59.tgt"));
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x02, 0x01}, {0x01}, {0x01}}));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(context.holder, "");

    queue({});
    queue(kBothSides);
    ASSERT_EQ(start(1), Result::Started); // in the same second
    EXPECT_EQ(logLines(run.log()->targetPath()), target.history);
    EXPECT_EQ(logLines(run.log()->hostPath()), host.history);
    EXPECT_EQ(target.history.size(), 25u);
    EXPECT_EQ(link.sent.size(), 5u);
    EXPECT_TRUE(notifier.messages.empty());
}

// Run refuses while another window holds the device; no failed start leaves the port open, and
// the owner hears of none but its result.
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
        f.context.holder = result == Result::Refused ? "firmware update" : "";
        EXPECT_EQ(f.start(1), result);
        EXPECT_EQ(f.heard, Lines{"started"});
        EXPECT_EQ(f.notifier.texts(), messages);
        EXPECT_EQ(f.link.openCalls, opens);
        EXPECT_FALSE(f.link.isOpen);
        EXPECT_EQ(f.context.holder, result == Result::Refused ? "firmware update" : "");
    }
}

// Stop pressed while the capture start waits for the device is not lost: the first poll ends
// the run.
TEST_F(Run, StopDuringTheStartEndsTheRunAtTheFirstPoll)
{
    link.responder = [this](const Bytes &) {
        run.requestStop();
        return test::FakeLink::Reply{};
    };
    ASSERT_EQ(start(100), Result::Started);
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x02, 0x01}, {0x01}}));
    EXPECT_EQ(ended, Ending::Stopped);
    EXPECT_FALSE(link.isOpen);
}

/// Makes `dir` unwritable in a way that root cannot get round either: it moves aside and a
/// plain file takes its place. `on` false puts it back.
void block(const QString &dir, bool on)
{
    if (on) {
        ASSERT_TRUE(QDir().rename(dir, dir + ".aside"));
        QFile file(dir);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    } else {
        ASSERT_TRUE(QFile::remove(dir) && QDir().rename(dir + ".aside", dir));
    }
}

// Told once per run (not every 50 ms); listing goes on, and the files pick up when the
// directory is writable again.
TEST_F(Run, UnwritableLogDirectoryIsToldOncePerRun)
{
    const QString logs = logDir.filePath("logs");
    ASSERT_TRUE(QDir().mkdir(logs));
    queue({});
    for (int i = 0; i < 3; ++i)
        queue(kBothSides);
    beforePoll = [&](int at) {
        if (at == 1)
            block(logs, true);
        if (at == 3)
            block(logs, false);
    };
    ASSERT_EQ(start(3, logs), Result::Started);
    ASSERT_EQ(notifier.messages.size(), 1u);
    for (const auto &path : {run.log()->targetPath(), run.log()->hostPath()})
        EXPECT_NE(notifier.messages[0].text.find(path.native()), std::string::npos) << path;
    EXPECT_EQ(target.lines.size(), 30u);
    EXPECT_EQ(logLines(run.log()->targetPath())->size(), 10u); // the third reply
    EXPECT_TRUE(run.logFailed());

    run.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 4, 0)); });
    queue({});
    queue(kBothSides);
    beforePoll = [&](int) { block(logs, true); };
    ASSERT_EQ(start(1, logs), Result::Started);
    block(logs, false);
    EXPECT_EQ(notifier.messages.size(), 2u); // the next run is told again
}

// Each failing file is told once: a host file that fails after the target file was told is
// told too, and neither again. (A log name that turns into a link is refused.)
TEST_F(Run, EachFailingLogFileIsToldOnce)
{
    queue({});
    queue(record(0x35, 1, kSspPoll) + record(0xAA, 2, kStatusRequest));
    queue(kBothSides);
    queue(kBothSides);
    beforePoll = [&](int at) { // before poll 1 the target file, before poll 2 the host file
        const auto path = at == 1 ? run.log()->targetPath() : run.log()->hostPath();
        if (at <= 2) {
            std::filesystem::remove(path);
            EXPECT_EQ(symlink("/dev/full", path.c_str()), 0);
        }
    };
    ASSERT_EQ(start(3), Result::Started);
    const std::string targetLog = run.log()->targetPath().native();
    const std::string hostLog = run.log()->hostPath().native();
    const Lines told = notifier.texts();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_TRUE(told[0].find(targetLog) != std::string::npos &&
                told[0].find(hostLog) == std::string::npos);
    EXPECT_TRUE(told[1].find(hostLog) != std::string::npos &&
                told[1].find(targetLog) == std::string::npos);
}

// A new Run numbers packets from 0 again on both sides.
TEST_F(Run, PacketNumbersStartAtZeroOnEveryRun)
{
    for (int runNumber = 0; runNumber < 2; ++runNumber) {
        queue({});
        queue(kBothSides + record(0x35, 400, kSspPoll));
        ASSERT_EQ(start(1), Result::Started);
        EXPECT_EQ(listing.TargetPacketCount, 3) << runNumber;
        EXPECT_EQ(listing.HostPacketCount, 1) << runNumber;
        const Lines &lines = target.history;
        EXPECT_EQ(lines[lines.size() - 15].substr(0, 10), "Packet #0 ") << runNumber;
    }
}

} // namespace
