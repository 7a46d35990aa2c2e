// The traffic analysis behind the monitor window: CRC verdicts, request-to-reply times, the
// filter, the timeline order, the CSV export and the reply-time plot.
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
                             "HOST CMD: NOTE CREDIT 1", QString::fromLatin1("\xC4rger \xB5s \xFF")};
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
        {"\u00e4RGER", true},     // Latin-1 letters fold as QString folds them
        {"\u00b5S \u0178", true}, // µ folds to Greek mu, ÿ's capital lies outside Latin-1
        {"X\u0178", false},
        {"tx  7f 80 01 07 12 02 h", false},
    };
    // Lines made on demand (a capture read back) are searched as Latin-1 bytes, with the same
    // verdicts.
    std::vector<std::string> bytes;
    for (const QString &line : record)
        bytes.push_back(line.toLatin1().toStdString());
    const std::vector<std::string_view> views(bytes.begin(), bytes.end());
    for (const auto &[text, shown] : cases) {
        EXPECT_EQ(RecordFilter(text).matches(record), shown) << text;
        EXPECT_EQ(RecordFilter(text).matches({}, [&] { return std::span(views); }), shown) << text;
    }
    EXPECT_TRUE(RecordFilter(" ").empty());
}

TEST(RecordFilter, TermsOnTheFactsAllHold)
{
    const QStringList lines{"Packet #3", "XLT RX  7F 80 01 F0 23 80 ", "GENERIC RSP: OK"};
    const RecordFacts reply{kTagTargetRx, 250, CrcVerdict::Good, 50u};
    const RecordFacts request{kTagHostTx, 90, CrcVerdict::Bad, std::nullopt};
    // expression, shows the reply, shows the request, the terms left out
    const std::tuple<const char *, bool, bool, const char *> cases[] = {
        {"reply>49", true, false, ""},
        {"reply>50", false, false, ""},
        {"reply<50", false, false, ""},
        {"reply<51ms", true, false, ""},
        {"reply>=50", true, false, ""},
        {"REPLY<=50", true, false, ""},
        {"reply=50", true, false, ""},
        {"!reply>50", true, true, ""},
        {"crc=bad", false, true, ""},
        {"CRC=Ok", true, false, ""},
        {"side=target", true, false, ""},
        {"!side=target", false, true, ""},
        {"dir=rx", true, false, ""},
        {"dir=tx", false, true, ""},
        {"generic dir=tx", false, true, ""},
        {"!generic", false, false, ""},
        {"!escrow side=host", false, true, ""},
        {"7F 80 dir=rx", true, false, ""}, // plain words stay one text, in order
        {"80 7F dir=rx", false, false, ""},
        {"GENERIC side=host crc=bad", false, true, ""},
        {"reply>abc side=host", false, true, "reply>abc"},
        {"crc=maybe side= generic", true, true, "crc=maybe side="},
        {"reply>-1 ! !!x crc>bad", true, true, "reply>-1 ! !!x crc>bad"},
        {"reply>4294967296", true, true, "reply>4294967296"},
        {"replies side", false, false, ""}, // a key without its operator is text
    };
    for (const auto &[text, showsReply, showsRequest, bad] : cases) {
        const RecordFilter filter{QString(text)};
        EXPECT_EQ(filter.matches(lines, reply), showsReply) << text;
        EXPECT_EQ(filter.matches(lines, request), showsRequest) << text;
        EXPECT_EQ(filter.badTerms().join(' '), bad) << text;
    }
    EXPECT_FALSE(RecordFilter("side=host").matches(lines)); // a run's mark has no side
    EXPECT_TRUE(RecordFilter("side=").empty());
}

RecordFacts at(std::uint8_t tag, std::uint32_t offsetMs)
{
    RecordFacts facts;
    facts.tag = tag;
    facts.offsetMs = offsetMs;
    return facts;
}

// (The timeline's lines and the export text are checked in the window's tests.)
TEST(Timeline, OrderedByTimeCaptureOrderOnTies)
{
    std::vector<TrafficRecord> records{
        {at(0x35, 30), {"T30"}}, {at(0xAA, 10), {"H10"}}, {at(0x55, 10), {"T10"}},
        {at(0xCA, 30), {"H30"}}, {at(0xAA, 5), {"H5"}},   {at(0x35, 40), {"T40"}},
    };
    orderTimeline(records);
    QStringList order;
    for (const TrafficRecord &record : records)
        order << record.lines[0];
    EXPECT_EQ(order.join(' '), "H5 H10 T10 T30 H30 T40");
}

/// The records of a reply as the window's lists take them: lines and the analysis' facts.
struct AnalysedList final : LineList
{
    std::size_t count() const override { return records.size(); }
    void clear() override { records.clear(); }
    void add(const std::string &line) override { pending << QString::fromLatin1(line); }
    void selectLast() override {}
    void recordDone(const ListedRecord &record) override
    {
        records.push_back({analyseRecord(summary, record), pending});
        pending.clear();
    }
    SideSummary summary;
    std::vector<TrafficRecord> records;
    QStringList pending;
};

/// Both sides of one reply: a paired SSP poll (50 ms), an ID003 request with a bad CRC and its
/// reply 14 ms later.
std::vector<TrafficRecord> listedBothSides()
{
    AnalysedList target;
    AnalysedList host;
    RecordingLabel label;
    xlt::core::NullEventPump pump;
    TrafficListing listing(target, host, label, label, pump);
    const Bytes reply = record(0x35, 100, kSspPoll) + record(0xAA, 90, bytesOf("FC 05 11 27 57")) +
                        record(0x55, 150, kSspOk) + record(0xCA, 104, kDisabled);
    xlt::link::XLTPacket packet;
    std::copy(reply.begin(), reply.end(), packet.ReplyData);
    packet.ReplyLength = static_cast<std::uint8_t>(reply.size());
    listing.ProcessCapture(packet);
    return target.records + host.records;
}

TEST(CsvExport, RowsAgainstTheListingQuotedAndUtf8)
{
    std::vector<TrafficRecord> records = listedBothSides();
    records.push_back({{}, {"Run started 13:05:09 on COM129"}}); // no traffic: left out
    records.push_back({at(0xAA, 5),
                       {"Packet #7" + QString::fromStdString(kRule), "Packet time offset: 5ms",
                        "XLT TX    ", QString::fromLatin1("HOST CMD: \"caf\xe9\", 2 ")}});
    EXPECT_EQ(csvText(records).toStdString(),
              "run time (s),side,direction,packet,time offset (ms),hex,decoded,CRC,"
              "reply time (ms)\r\n"
              "0.100,target,tx,0,100,7F 80 01 07 12 02,CMD: POLL,ok,\r\n"
              "0.150,target,rx,1,150,7F 80 01 F0 23 80,GENERIC RSP: OK,ok,50\r\n"
              "0.090,host,tx,0,90,FC 05 11 27 57,HOST CMD: STATUS REQUEST,bad,\r\n"
              "0.104,host,rx,1,104,FC 05 1A F4 E8,XLT RSP: DISABLED,ok,14\r\n"
              "0.005,host,tx,7,5,,\"HOST CMD: \"\"caf\xc3\xa9\"\", 2\",unchecked,\r\n");
}

TEST(ReplyPlot, PointsOfTheAnalysedRecords)
{
    std::vector<std::tuple<PlotSeries, double, double>> points;
    for (const TrafficRecord &record : listedBothSides()) {
        for (const PlotPoint &point : plotPoints(record.facts))
            points.emplace_back(point.series, point.seconds, point.ms);
    }
    using S = PlotSeries;
    EXPECT_EQ(points,
              (std::vector<std::tuple<PlotSeries, double, double>>{
                  {S::Target, 0.150, 50}, {S::CrcFailures, 0.090, 0}, {S::Host, 0.104, 14}}));
    const RecordFacts failedReply{kTagHostRx, 2000, CrcVerdict::Bad, 30u};
    EXPECT_EQ(plotPoints(failedReply).size(), 2u);
    EXPECT_TRUE(isPlotRecord(S::CrcFailures, 2.0, failedReply));
    EXPECT_FALSE(isPlotRecord(S::Target, 2.0, failedReply));
    EXPECT_FALSE(isPlotRecord(S::Host, 2.001, failedReply));
    EXPECT_TRUE(plotPoints({}).empty());
}

} // namespace
