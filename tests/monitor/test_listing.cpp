// The traffic listing of capture replies, and the run's two log files.
#include "MonitorTest.h"
#include "monitor/TrafficLog.h"
#include "support/FakeLink.h"

#include <QDir>
#include <QTemporaryDir>
#include <unistd.h>

namespace {

using namespace xlt::montest;
using namespace xlt::monitor;

Lines block(int number, const std::string &offset, const std::string &hex, const std::string &line)
{
    return {"Packet #" + std::to_string(number) + kRule, "Packet time offset: " + offset + "ms",
            hex, line, " "};
}

struct Listing : ::testing::Test
{
    // ReplyData past ReplyLength holds 0xEE, as if left over from an earlier, longer reply.
    TrafficListing::Added process(const Bytes &bytes)
    {
        xlt::link::XLTPacket packet;
        std::fill(std::begin(packet.ReplyData), std::end(packet.ReplyData), 0xEE);
        packet.ReplyLength = static_cast<std::uint8_t>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), packet.ReplyData);
        return listing.ProcessCapture(packet);
    }

    RecordingList target;
    RecordingList host;
    RecordingLabel lblTarget;
    RecordingLabel lblHost;
    xlt::test::CountingPump pump;
    TrafficListing listing{target, host, lblTarget, lblHost, pump};
};

TEST_F(Listing, FiveLineBlocksNumberedFromZeroPerSideStrayBytesSkipped)
{
    // Stray bytes (not a record tag) are skipped one by one; events run after every step.
    const auto added =
        process(Bytes{0x00, 0x7F} + record(0x35, 250, kSspPoll) + record(0xAA, 1, kStatusRequest) +
                Bytes{0x36} + record(0x55, 265, kSspOk) + record(0xCA, 3, kDisabled));
    const Lines both = block(0, "250", "XLT TX  7F 80 01 07 12 02 ", "CMD: POLL ") +
                       block(1, "265", "XLT RX  7F 80 01 F0 23 80 ", "GENERIC RSP: OK") +
                       block(0, "1", "XLT TX    FC 05 11 27 56 ", "HOST CMD: STATUS REQUEST  ") +
                       block(1, "3", "XLT RX    FC 05 1A F4 E8 ", "XLT RSP: DISABLED  ");
    EXPECT_EQ(target.lines + host.lines, both);
    EXPECT_EQ(added.target + added.host, both);
    EXPECT_EQ(target.selected, 10u);
    EXPECT_EQ(pump.calls, 7);
    EXPECT_EQ(lblTarget.text + "|" + lblHost.text, "SSP|PR01");

    // The numbers go on with the next reply, start again with a new run, and wrap to 0 after
    // the largest instead of overflowing.
    process(record(0xCA, 4, kDisabled));
    EXPECT_EQ(host.lines[10], "Packet #2" + kRule);
    listing.resetCounts();
    listing.TargetPacketCount = 2147483647;
    process(record(0xAA, 5, kStatusRequest) + record(0x55, 6, kSspOk) + record(0x55, 6, {}));
    EXPECT_EQ(host.lines[15], "Packet #0" + kRule);
    EXPECT_EQ(target.lines[10], "Packet #2147483647" + kRule);
    EXPECT_EQ(target.lines[15], "Packet #0" + kRule);
}

// Detection looks at the frame, not the side: a frame on the wrong side sets its label.
TEST_F(Listing, WrongSideAndUnknownFramesListAnEmptyLine)
{
    const auto added = process(record(0x35, 0, {}) + record(0xCA, 0, {0x00, 0x7F, 0xFC}));
    EXPECT_EQ(added.target + added.host,
              block(0, "0", "XLT TX  ", "") + block(0, "0", "XLT RX    00 7F FC ", ""));
    EXPECT_EQ(lblTarget.text + "|" + lblHost.text, "|");
    process(record(0xAA, 0, kSspPoll) + record(0x55, 0, kDisabled));
    EXPECT_EQ(host.lines, added.host + block(1, "0", "XLT TX    7F 80 01 07 12 02 ", ""));
    EXPECT_EQ(target.lines, added.target + block(1, "0", "XLT RX  FC 05 1A F4 E8 ", ""));
    EXPECT_EQ(lblTarget.text + "|" + lblHost.text, "SSP|PR01");
}

TEST_F(Listing, TimeOffsetsAreUnsignedLittleEndian)
{
    for (const auto &[bytes, text] : {std::pair{"FA 00 00 00", "250"},
                                      {"01 02 03 04", "67305985"},
                                      {"00 00 00 80", "2147483648"},
                                      {"FF FF FF FF", "4294967295"}}) {
        EXPECT_EQ(process(Bytes{0x35} + bytesOf(bytes) + Bytes{0x00}).target.at(1),
                  "Packet time offset: " + std::string(text) + "ms");
    }
}

// A list that has reached the cap is emptied once before the reply, never during it.
TEST_F(Listing, CapEmptiesAFullListBeforeTheReply)
{
    for (const std::size_t before : {kListCap, kListCap - 1, kListCap + 7}) {
        target.lines.assign(before, "old");
        host.lines.assign(before, "old");
        process(record(0x35, 0, kSspPoll) + record(0x55, 0, kSspOk) +
                record(0xAA, 0, kStatusRequest) + record(0xCA, 0, kDisabled));
        const std::size_t after = before < kListCap ? before + 10 : 10;
        EXPECT_EQ(std::pair(target.lines.size(), host.lines.size()), std::pair(after, after))
            << "lines before: " << before;
    }
}

// A Clear List click while a reply is listed empties the list, but the log gets every line.
TEST_F(Listing, ClearingAListDuringAReplyLosesNoLogLine)
{
    pump.onPump = [this] {
        if (pump.calls == 1)
            target.clear();
    };
    const auto added = process(record(0x35, 250, kSspPoll) + record(0x55, 265, kSspOk));
    EXPECT_EQ(added.target, target.history);
    EXPECT_EQ(target.lines, Lines(target.history.begin() + 5, target.history.end()));
}

TEST_F(Listing, NothingIsReadBeyondReplyLength)
{
    // A frame cut by the end of the reply: only its bytes in the reply are listed and decoded.
    Bytes cut = record(0x35, 7, kSspPoll);
    cut.resize(6 + 3);
    EXPECT_EQ(process(cut).target, block(0, "7", "XLT TX  7F 80 01 ", "UNKNOWN COMMAND "));

    for (std::size_t keep = 1; keep < 6; ++keep) { // a header cut off is not a record
        Bytes header = record(0x55, 7, kSspOk);
        header.resize(keep);
        const auto added = process(record(0xAA, 1, kStatusRequest) + header);
        EXPECT_EQ(added.host.size(), 5u);
        EXPECT_TRUE(added.target.empty()) << keep << " header bytes";
    }

    // A record that ends exactly at the end of a full reply is listed whole.
    const auto added = process(Bytes(255 - 6 - 100, 0x00) + record(0xCA, 0, Bytes(100, 0xFC)));
    EXPECT_EQ(added.host.at(2), "XLT RX    " + repeated("FC ", 100));
}

// Midnight is hour 00; a directory that ends with a separator gets no second one.
TEST(TrafficLog, BaseNameAndPaths)
{
    EXPECT_EQ(TrafficLog::baseName(QDateTime(QDate(2027, 1, 31), QTime(23, 5, 7))),
              "XLT_log_ 31 01 2027 23 05 07");
    EXPECT_EQ(TrafficLog::baseName(QDateTime(QDate(2027, 1, 31), QTime(0, 0, 7))),
              "XLT_log_ 31 01 2027 00 00 07");
    EXPECT_EQ(TrafficLog("/var/log/xlt", "B").targetPath(), "/var/log/xlt/B.tgt");
    EXPECT_EQ(TrafficLog("/var/n\xff", "B").targetPath(), "/var/n\xff/B.tgt");
    EXPECT_EQ(TrafficLog("/var/log/xlt/", "B").hostPath(), "/var/log/xlt/B.xlt");
    EXPECT_EQ(TrafficLog("/", "B").targetPath(), "/B.tgt");
    EXPECT_EQ(TrafficLog("", "B").hostPath(), "B.xlt");
}

// Folders named in any script; the contents stay Latin-1 bytes.
TEST(TrafficLog, AppendsCrlfLinesAsLatin1BytesAndKeepsWhatIsThere)
{
    QTemporaryDir root;
    for (const QString &name : {QString::fromUtf8("logs \u20ac"),
                                QString::fromUtf8("\u0416\u0443\u0440\u043d\u0430\u043b")}) {
        const QString dir = root.filePath(name);
        ASSERT_TRUE(QDir().mkpath(dir));
        TrafficLog log(xlt::core::toPath(dir), "base");
        EXPECT_EQ(log.appendTarget({}), ""); // nothing to write: no file comes into being
        EXPECT_FALSE(logLines(log.targetPath()));
        EXPECT_EQ(log.appendTarget({"Packet #0", " ", ""}), "");
        EXPECT_EQ(TrafficLog(xlt::core::toPath(dir + "/"), "base").appendTarget({"\xE9\xFF"}), "");
        EXPECT_EQ(logLines(log.targetPath()), (Lines{"Packet #0", " ", "", "\xE9\xFF"}));
        EXPECT_FALSE(logLines(log.hostPath()));
        // Nothing lands in a sibling folder of question marks.
        EXPECT_EQ(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                  name.startsWith(QLatin1String("logs")) ? 1 : 2);
    }
}

TEST(TrafficLog, FailureNamesTheFileAndTheReason)
{
    QTemporaryDir dir;
    TrafficLog gone(xlt::core::toPath(dir.path() + "/gone\u20ac"), "base");
    std::string message = gone.appendHost({"line"});
    EXPECT_NE(message.find("gone\\xE2\\x82\\xAC/base.xlt could not be written"), std::string::npos)
        << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;

    TrafficLog planted(xlt::core::toPath(dir.path()), "base");
    ASSERT_EQ(symlink("/dev/full", planted.targetPath().c_str()), 0);
    message = planted.appendTarget({"line"});
    EXPECT_NE(message.find(planted.targetPath().native()), std::string::npos) << message;
    EXPECT_NE(message.find("it is a symbolic link"), std::string::npos) << message;
}

} // namespace
