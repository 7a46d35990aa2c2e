// The traffic analysis behind the monitor window: CRC verdicts, request-to-reply times, the
// filter, the timeline order and the export text.
#include "MonitorTest.h"
#include "monitor/TrafficAnalysis.h"

#include <QStringList>

namespace {

using namespace xlt::montest;
using namespace xlt::monitor;

TEST(FrameCrc, VerdictPerFrame)
{
    const struct
    {
        const char *name;
        Bytes frame;
        CrcVerdict verdict;
    } cases[] = {
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
    for (const auto &c : cases)
        EXPECT_EQ(checkFrameCrc(c.frame), c.verdict) << c.name;
}

TEST(ReplyTimes, EachReplyPairsWithTheLatestUnansweredRequest)
{
    // tag, offset, the reply time expected
    const struct
    {
        std::uint8_t tag;
        std::uint32_t ms;
        std::optional<std::uint32_t> reply;
    } steps[] = {
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
    for (const auto &step : steps)
        EXPECT_EQ(times.take(step.tag, step.ms), step.reply) << step.ms;
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
    const struct
    {
        const char *text;
        bool shown;
    } cases[] = {
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
    for (const auto &c : cases)
        EXPECT_EQ(RecordFilter(c.text).matches(record), c.shown) << c.text;
    EXPECT_TRUE(RecordFilter(" ").empty());
}

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

    EXPECT_EQ(timelineLines({true, 1, {"Packet #0", "x"}}), QStringList({"Target Packet #0", "x"}));
    EXPECT_EQ(timelineLines({false, 1, {"Packet #9"}}), QStringList({"Host Packet #9"}));
}

TEST(Export, RecordsLineByLineWithCrLf)
{
    EXPECT_EQ(exportText({}), "");
    EXPECT_EQ(exportText({{"a", "b"}, {"c"}}), "a\r\nb\r\nc\r\n");
}

} // namespace
