// The traffic analysis behind the monitor window: CRC verdicts, request-to-reply times, the
// filter and the timeline order.
#include "MonitorTest.h"
#include "monitor/TrafficAnalysis.h"

#include <QStringList>

namespace {

using namespace xlt::montest;
using namespace xlt::monitor;

TEST(FrameCrc, VerdictPerFrame)
{
    const std::tuple<const char *, Bytes, CrcVerdict> cases[] = {
        {"SSP poll", kSspPoll, CrcVerdict::Good},
        {"SSP ok", kSspOk, CrcVerdict::Good},
        {"SSP, CRC low byte changed", bytesOf("7F 80 01 07 13 02"), CrcVerdict::Bad},
        {"SSP, data byte changed", bytesOf("7F 80 01 08 12 02"), CrcVerdict::Bad},
        // SEQ 0x80, data 7F 01 7F: every 7F after the start is doubled on the line.
        {"SSP, stuffed data", bytesOf("7F 80 03 7F 7F 01 7F 7F 0E 25"), CrcVerdict::Good},
        {"SSP, stuffed data left single", bytesOf("7F 80 03 7F 01 7F 0E 25"), CrcVerdict::Bad},
        {"SSP, bytes after the frame ignored", kSspPoll + Bytes{0x00, 0x11}, CrcVerdict::Good},
        {"SSP, shorter than LEN says", bytesOf("7F 80 05 07 12 02"), CrcVerdict::Bad},
        {"SSP, start byte only", bytesOf("7F"), CrcVerdict::Bad},
        {"ID003 status request", kStatusRequest, CrcVerdict::Good},
        {"ID003 disabled", kDisabled, CrcVerdict::Good},
        {"ID003, CRC high byte changed", bytesOf("FC 05 1A F4 E9"), CrcVerdict::Bad},
        {"ID003, bytes past LNG ignored", kDisabled + Bytes{0x42}, CrcVerdict::Good},
        {"ID003, shorter than LNG", bytesOf("FC 07 1A F4 E8"), CrcVerdict::Bad},
        {"ID003, LNG too small for a CRC", bytesOf("FC 03 1A F4 E8"), CrcVerdict::Bad},
        {"neither protocol", bytesOf("12 34 56"), CrcVerdict::Unchecked},
        {"empty", Bytes{}, CrcVerdict::Unchecked},
    };
    for (const auto &[name, frame, verdict] : cases)
        EXPECT_EQ(checkFrameCrc(frame), verdict) << name;
}

TEST(ReplyTimes, EachReplyPairsWithTheLatestUnansweredRequest)
{
    // tag, offset, the reply time expected
    const std::tuple<std::uint8_t, std::uint32_t, std::optional<std::uint32_t>> steps[] = {
        {kTagTargetRx, 5, std::nullopt},   // a reply before any request
        {kTagTargetTx, 200, std::nullopt}, // request
        {kTagTargetRx, 207, 7u},           // its reply
        {kTagTargetRx, 209, std::nullopt}, // a second reply answers nothing
        {kTagTargetTx, 400, std::nullopt}, // unanswered request ...
        {kTagTargetTx, 600, std::nullopt}, // ... replaced by the next one
        {kTagTargetRx, 612, 12u},          {kTagTargetTx, 800, std::nullopt},
        {kTagTargetRx, 790, std::nullopt}, // earlier than its request: no time
    };
    ReplyTimes times;
    for (const auto &[tag, ms, reply] : steps)
        EXPECT_EQ(times.take(tag, ms), reply) << ms;
    EXPECT_EQ(times.count(), 2u);
    EXPECT_EQ(times.worst(), 12u);
    EXPECT_DOUBLE_EQ(times.mean(), 9.5);

    ReplyTimes host; // the host side's tags work the same way
    host.take(kTagHostTx, 10);
    EXPECT_EQ(host.take(kTagHostRx, 15), 5u);
}

TEST(SideSummary, CountsRecordsFailuresAndTimes)
{
    SideSummary summary;
    EXPECT_EQ(summary.text(), "Records: 0  CRC failures: 0  Replies: 0");
    summary.take(kTagHostTx, 100, CrcVerdict::Good);
    summary.take(kTagHostRx, 107, CrcVerdict::Bad);
    summary.take(kTagHostTx, 300, CrcVerdict::Unchecked);
    summary.take(kTagHostRx, 304, CrcVerdict::Good);
    EXPECT_EQ(summary.text(), "Records: 4  CRC failures: 1  Replies: 2, mean 5.5 ms, worst 7 ms");
    summary.reset();
    EXPECT_EQ(summary.records + summary.crcFailures + summary.times.count(), 0u);

    EXPECT_EQ(recordToolTip(CrcVerdict::Good, std::nullopt), "");
    EXPECT_EQ(recordToolTip(CrcVerdict::Bad, 7u), "CRC check failed\nReply 7 ms after its request");
    EXPECT_EQ(recordToolTip(CrcVerdict::Unchecked, 0u), "Reply 0 ms after its request");
}

TEST(RecordFilter, AnyLineContainingTheTextIgnoringCase)
{
    const QStringList record{"Packet #3" + QString::fromStdString(kRule),
                             "Packet time offset: 250ms", "XLT TX  7F 80 01 07 12 02 ",
                             "HOST CMD: NOTE CREDIT 1", " "};
    const std::pair<const char *, bool> cases[] = {
        {"", true},
        {"   ", true},
        {"NOTE CREDIT", true},
        {"note credit", true},
        {"7F 80", true},
        {" 7F 80 ", true},
        {"Packet #3", true},
        {"Packet #4", false},
        {"80 7F", false},
        {"ESCROW", false},
        {"250ms", true},
        {"CREDIT 1\nXLT", false}, // never across lines
    };
    for (const auto &[text, shown] : cases)
        EXPECT_EQ(RecordFilter(text).matches(record), shown) << text;
    EXPECT_TRUE(RecordFilter(" ").empty());
}

// (The timeline's lines and the export text are checked in the window's tests.)
TEST(Timeline, OrderedByTimeCaptureOrderOnTies)
{
    std::vector<TimelineRecord> records{
        {true, 30, {"T30"}},  {false, 10, {"H10"}}, {true, 10, {"T10"}},
        {false, 30, {"H30"}}, {false, 5, {"H5"}},   {true, 40, {"T40"}},
    };
    orderTimeline(records);
    QStringList order;
    for (const TimelineRecord &record : records)
        order << record.lines[0];
    EXPECT_EQ(order.join(' '), "H5 H10 T10 T30 H30 T40");
}

} // namespace
