// The monitor run against a scripted link on a line that runs at once: the whole run happens
// inside start(), and the test acts at the pauses before the polls.
#include "MonitorTest.h"
#include "Version.h"
#include "monitor/CaptureFile.h"
#include "monitor/MonitorRun.h"
#include "support/FakeLink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <unistd.h>

using namespace xlt;
using namespace xlt::montest;
using monitor::captureTime;
using monitor::MonitorRun;
using Result = MonitorRun::StartResult;
using Ending = MonitorRun::Ending;

namespace {

const Bytes kIdentity = bytesOf("50 52 30 31 20 30 31 32 33 30 30 30 31"); // PR01 01230001
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
    /// The replies to the identity read and the capture start.
    void queueStart(const Bytes &identity = kIdentity)
    {
        queue(identity);
        queue({});
    }
};

struct Run : ::testing::Test, RunRig
{
};

TEST_F(Run, ListsAndLogsEachReplyUntilStopAndTheNextRunGoesOnInTheSameFiles)
{
    ports.records.insert(ports.records.begin(), {"\\Device\\Serial0", "COM1", "/dev/ttyS0"});
    queueStart();
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
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x10}, {0x02, 0x01}, {0x01}, {0x01}}));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(context.holder, "");

    queueStart();
    queue(kBothSides);
    ASSERT_EQ(start(1), Result::Started); // in the same second
    EXPECT_EQ(logLines(run.log()->targetPath()), target.history);
    EXPECT_EQ(logLines(run.log()->hostPath()), host.history);
    EXPECT_EQ(target.history.size(), 25u);
    EXPECT_EQ(link.sent.size(), 7u);
    EXPECT_TRUE(notifier.messages.empty());
    // The capture goes on too; the second run's header lines are read as comments.
    const auto capture = monitor::readCaptureFile(run.capturePath()).capture;
    EXPECT_EQ(std::tuple(capture->count(), capture->ignoredHeaderLines), std::tuple(3u, 5u));
}

/// Lists the replies of a capture again, as a new run would.
std::pair<Lines, Lines> listedAgain(const monitor::Capture &capture)
{
    RecordingList target;
    RecordingList host;
    RecordingLabel label;
    test::CountingPump pump;
    monitor::TrafficListing listing(target, host, label, label, pump);
    link::XLTPacket packet;
    for (std::size_t k = 0; k < capture.count(); ++k) {
        const auto reply = capture.reply(k);
        packet.ReplyLength = static_cast<std::uint8_t>(reply.size());
        std::copy(reply.begin(), reply.end(), packet.ReplyData);
        listing.ProcessCapture(packet);
    }
    return {target.history, host.history};
}

// The capture keeps the run: a header of single words (other bytes escaped) and the replies
// that hold bytes, which list again exactly as the run listed and logged them (stray bytes and
// a frame cut off by the end of its reply included).
TEST_F(Run, CaptureFileReadsBackAsTheRunListedAndLoggedIt)
{
    ports.records[0].devicePath = "/dev/my port\x01";
    queueStart(bytesOf("50 52 30 31 20 30 31 32 33 30 20 30 31")); // the mod number "0 01"
    queue(kBothSides + Bytes{0x00, 0x13});
    queue({});
    queue(record(0xCA, 400, kDisabled) + Bytes{0x35, 1, 0, 0, 0, 9, 0x7F});
    ASSERT_EQ(start(3), Result::Started);
    const std::string header =
        "# XLT capture 1\n# started 2026-12-05T14:03:59" +
        captureTime(QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59))).substr(19) +
        "\n# port COM5 /dev/my\\x20port\\x01\n# identity PR01 0123 "
        "0\\x2001\n# program " +
        app::kVersionText + "\n";
    const QByteArray text = core::readRegularFile(run.capturePath(), 1 << 20).bytes.value();
    EXPECT_EQ(text.left(qsizetype(header.size())).toStdString(), header);
    EXPECT_EQ(text.count('\n'), 7);
    const monitor::CaptureRead read = monitor::readCaptureFile(run.capturePath());
    ASSERT_TRUE(read.capture) << read.reason;
    const monitor::CaptureHeader &h = read.capture->header;
    EXPECT_EQ(std::tie(h.portName, h.deviceNode, h.identity->modNumber, h.program),
              std::tie("COM5", ports.records[0].devicePath, "0 01", app::kVersionText));
    EXPECT_EQ(read.capture->count(), 2u);
    EXPECT_EQ(listedAgain(*read.capture), std::pair(target.history, host.history));
    EXPECT_EQ(logLines(run.log()->targetPath()), target.history);
    EXPECT_EQ(logLines(run.log()->hostPath()), host.history);

    // A device that does not answer the identity still gets its run, told nothing of it.
    link.replies.push_back({link::CommandTimeOut, {}});
    queue({});
    queue(kBothSides);
    run.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 4, 0)); });
    ASSERT_EQ(start(1), Result::Started);
    const auto again = monitor::readCaptureFile(run.capturePath()).capture;
    EXPECT_EQ(std::tuple(again->header.identity.has_value(), again->count()),
              std::tuple(false, 1u));
    EXPECT_TRUE(notifier.messages.empty());
}

// What a reader takes of a capture and what it refuses: only the last line may be cut.
TEST(CaptureFile, ReaderTakesWholeLinesAndRefusesWhatIsNoCapture)
{
    const std::string head = "# XLT capture 1\r\n\n# started 2026-12-07T11:30:52+01:00\n"
                             "# port COM129\n# identity unknown\n# later field\n";
    const std::string notCapture = "not a capture file: it does not start with '# XLT capture'";
    // Rows: the file, replies read, cut lines, ignored header lines, or the reason of a refusal.
    const std::tuple<std::string, std::size_t, std::size_t, std::size_t, std::string> rows[] = {
        {head + "7F 80\r\n  \n0102 03\n", 2, 0, 1, ""},
        {head + "7F 80\n01 02", 1, 1, 1, ""},    // no LF at the end
        {head + "7F 80\n01 0\n\n", 1, 1, 1, ""}, // odd hex on the last line
        {head + "7F 80\n01 0\n02\n", 0, 0, 0, "line 8: a group with an odd number of digits"},
        {head + "7F 8Z\n02\n", 0, 0, 0, "line 7: not hexadecimal bytes"},
        {head + repeated("00 ", 256) + "\n02\n", 0, 0, 0, "line 7: more than 255 bytes"},
        {head + std::string(5000, ' ') + "\n", 0, 0, 0, "line 7 is longer than 4096 characters"},
        {"# port COM1\n7F\n", 0, 0, 0, notCapture},
        {"7F 80 01\n", 0, 0, 0, notCapture},
        {"", 0, 0, 0, notCapture},
        {"# XLT capture 2\n", 0, 0, 0, "capture format 2 is newer than this program reads (1)"},
        {"# XLT capture 1\n# port COM\\x2", 0, 1, 0, ""},
    };
    for (const auto &[file, replies, cut, ignored, reason] : rows) {
        SCOPED_TRACE(file.substr(head.size() * file.starts_with(head), 40));
        monitor::CaptureReader reader;
        reader.feed(file.substr(0, 60)); // in two pieces, one line cut between them
        reader.feed(file.substr(std::min<std::size_t>(60, file.size())));
        const monitor::CaptureRead read = reader.finish();
        EXPECT_EQ(read.reason, reason);
        if (!read.capture)
            continue;
        EXPECT_EQ(std::tuple(read.capture->count(), read.capture->cutLines,
                             read.capture->ignoredHeaderLines),
                  std::tuple(replies, cut, ignored));
        EXPECT_EQ(read.capture->header.portName, file.starts_with(head) ? "COM129" : "");
    }
    monitor::CaptureReader many; // the most replies, then one more
    bool taken = many.feed("# XLT capture 1\n");
    const std::string lines = repeated("00\n", 100'000);
    for (std::size_t k = 0; k < monitor::kMaxCaptureReplies / 100'000; ++k)
        taken = many.feed(lines) && taken;
    EXPECT_TRUE(taken);
    EXPECT_FALSE(many.feed("00\n"));
    EXPECT_FALSE(monitor::CaptureReader().feed(std::string(5000, '0')));    // held to 4096, no LF
    EXPECT_FALSE(monitor::captureIdentity(std::span(kIdentity).first(12))); // not whole
    EXPECT_EQ(many.finish().reason, "more than 2000000 replies");
    EXPECT_EQ(monitor::readCaptureFile("/dev/zero").reason, "not a regular file");
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
        f.link.replies.assign(2, {link::CommandTimeOut, {}}); // the identity's is not told
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
    EXPECT_EQ(link.sent, (std::vector<Bytes>{{0x10}, {0x02, 0x01}, {0x01}}));
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
    queueStart();
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
    for (const auto &path : {run.log()->targetPath(), run.log()->hostPath(), run.capturePath()})
        EXPECT_NE(notifier.messages[0].text.find(path.native()), std::string::npos) << path;
    EXPECT_EQ(target.lines.size(), 30u);
    EXPECT_EQ(logLines(run.log()->targetPath())->size(), 10u);                   // the third reply
    EXPECT_EQ(monitor::readCaptureFile(run.capturePath()).capture->count(), 1u); // and its header
    EXPECT_TRUE(run.logFailed());

    run.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 4, 0)); });
    queueStart();
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
    queueStart();
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
        queueStart();
        queue(kBothSides + record(0x35, 400, kSspPoll));
        ASSERT_EQ(start(1), Result::Started);
        EXPECT_EQ(listing.TargetPacketCount, 3) << runNumber;
        EXPECT_EQ(listing.HostPacketCount, 1) << runNumber;
        const Lines &lines = target.history;
        EXPECT_EQ(lines[lines.size() - 15].substr(0, 10), "Packet #0 ") << runNumber;
    }
}

} // namespace
