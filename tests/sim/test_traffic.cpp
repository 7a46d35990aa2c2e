// Traffic capture: every reply parses into whole records of sound frames with credible times.
#include "CaptureCheck.h"
#include "sim/DeviceModel.h"
#include "sim/TrafficFrames.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace xlt::sim;
using namespace xlt::test;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Clock::time_point kStart = Clock::time_point{} + 1h;

struct Capture
{
    std::vector<Bytes> replies;
    std::vector<CapturedRecord> records;
};

/// Starts capture at kStart and reads every `every` for `span`.
Capture capture(DeviceOptions options, std::chrono::milliseconds span,
                std::chrono::milliseconds every = 50ms)
{
    DeviceModel model(std::move(options));
    EXPECT_EQ(model.handle(Bytes{2, 1}, kStart).status, kStatusAccepted);
    Capture out;
    for (auto t = every; t <= span; t += every) {
        const Response response = model.handle(Bytes{1}, kStart + t);
        EXPECT_EQ(response.status, kStatusAccepted);
        out.replies.push_back(response.data);
        ParsedReply parsed = parseReply(response.data);
        EXPECT_EQ(parsed.error, "");
        for (CapturedRecord &record : parsed.records) {
            EXPECT_LE(record.offsetMs, t.count()) << "a record from the future";
            out.records.push_back(std::move(record));
        }
    }
    return out;
}

DeviceOptions withTraffic(TrafficLevel level, bool stray = false)
{
    DeviceOptions options;
    options.traffic = level;
    options.strayBytes = stray;
    return options;
}

/// Decoded name of the interesting part of a frame: SSP response events or ID003 codes.
std::multiset<std::uint8_t> codes(const std::vector<CapturedRecord> &records, std::uint8_t tag)
{
    std::multiset<std::uint8_t> out;
    for (const CapturedRecord &record : records) {
        if (record.tag != tag)
            continue;
        if (tag == kTagHostCommand || tag == kTagHostResponse)
            out.insert(record.frame[2]);
        else
            for (std::size_t i = 3; i + 2 < record.frame.size(); ++i)
                out.insert(record.frame[i]);
    }
    return out;
}

} // namespace

TEST(TrafficFrames, MatchKnownFramesOfBothProtocols)
{
    EXPECT_EQ(sspFrame(0x80, Bytes{0x07}), (Bytes{0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}));
    EXPECT_EQ(sspFrame(0x80, Bytes{0xF0}), (Bytes{0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80}));
    EXPECT_EQ(id003Frame(0x11), (Bytes{0xFC, 0x05, 0x11, 0x27, 0x56}));
    EXPECT_EQ(id003Frame(0x1A), (Bytes{0xFC, 0x05, 0x1A, 0xF4, 0xE8}));
    EXPECT_EQ(id003Frame(0xC3, Bytes{0x00}), (Bytes{0xFC, 0x06, 0xC3, 0x00, 0x04, 0xD6}));
}

TEST(TrafficFrames, SspStuffsEvery7FAfterTheStart)
{
    const Bytes frame = sspFrame(0x00, Bytes{0x7F, 0x01, 0x7F});
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 7),
              (Bytes{0x7F, 0x00, 0x03, 0x7F, 0x7F, 0x01, 0x7F}));
    EXPECT_EQ(checkFrame({kTagTargetCommand, 0, frame}), "");
}

TEST(Traffic, NoCaptureStartGivesEmptyReplies)
{
    DeviceModel model;
    for (auto t : {0ms, 500ms, 60000ms})
        EXPECT_TRUE(model.handle(Bytes{1}, kStart + t).data.empty());
    model.handle(Bytes{2, 1}, kStart);
    model.handle(Bytes{2, 0}, kStart + 10ms);
    EXPECT_TRUE(model.handle(Bytes{1}, kStart + 5s).data.empty()) << "capture stopped";
}

TEST(Traffic, EveryFrameIsSoundAtEveryLevel)
{
    const struct
    {
        const char *name;
        DeviceOptions options;
    } levels[] = {{"quiet", withTraffic(TrafficLevel::Quiet)},
                  {"normal", withTraffic(TrafficLevel::Normal)},
                  {"normal with stray bytes", withTraffic(TrafficLevel::Normal, true)},
                  {"flood", withTraffic(TrafficLevel::Flood)},
                  {"flood with stray bytes", withTraffic(TrafficLevel::Flood, true)}};
    for (const auto &level : levels) {
        const Capture run = capture(level.options, 20s);
        ASSERT_FALSE(run.records.empty()) << level.name;
        for (const Bytes &reply : run.replies)
            EXPECT_LE(reply.size(), kMaxReplyData) << level.name;
        for (const CapturedRecord &record : run.records)
            ASSERT_EQ(checkFrame(record), "") << level.name << " at " << record.offsetMs;
    }
}

TEST(Traffic, FloodFillsEveryReply)
{
    for (const bool stray : {false, true}) {
        const Capture run = capture(withTraffic(TrafficLevel::Flood, stray), 5s);
        for (const Bytes &reply : run.replies)
            ASSERT_EQ(reply.size(), kMaxReplyData);
    }
}

TEST(Traffic, TimesRiseAndSequenceBitsPairUp)
{
    const Capture run = capture(withTraffic(TrafficLevel::Normal), 30s);
    std::uint32_t last = 0;
    std::optional<std::uint8_t> commandSeq;
    std::optional<std::uint8_t> previousSeq;
    for (const CapturedRecord &record : run.records) {
        EXPECT_GE(record.offsetMs, last);
        last = record.offsetMs;
        if (record.tag == kTagTargetCommand) {
            if (previousSeq) {
                EXPECT_NE(record.frame[1], *previousSeq) << "the bit toggles per command";
            }
            commandSeq = previousSeq = record.frame[1];
        } else if (record.tag == kTagTargetResponse) {
            ASSERT_TRUE(commandSeq);
            EXPECT_EQ(record.frame[1], *commandSeq) << "a response echoes its command's";
            commandSeq.reset();
        }
    }
    EXPECT_GT(last, 25000u);
    EXPECT_LT(last, 30000u);
}

TEST(Traffic, NormalTrafficAcceptsNotesOnBothSides)
{
    const Capture run = capture(withTraffic(TrafficLevel::Normal), 30s);
    const auto host = codes(run.records, kTagHostResponse);
    for (std::uint8_t status : {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x50, 0x1A})
        EXPECT_TRUE(host.count(status)) << std::hex << int(status);
    const auto hostCommands = codes(run.records, kTagHostCommand);
    for (std::uint8_t command : {0x11, 0x41, 0x50, 0xC3})
        EXPECT_TRUE(hostCommands.count(command)) << std::hex << int(command);
    const auto events = codes(run.records, kTagTargetResponse);
    for (std::uint8_t event : {0xF0, 0xEF, 0xEE, 0xCC, 0xEB, 0xE8})
        EXPECT_TRUE(events.count(event)) << std::hex << int(event);
}

TEST(Traffic, QuietTrafficOnlyPolls)
{
    const Capture run = capture(withTraffic(TrafficLevel::Quiet), 30s);
    for (std::uint8_t status : codes(run.records, kTagHostResponse))
        EXPECT_EQ(status, 0x11);
    for (std::uint8_t command : codes(run.records, kTagHostCommand))
        EXPECT_EQ(command, 0x11);
    for (std::uint8_t byte : codes(run.records, kTagTargetResponse))
        EXPECT_EQ(byte, 0xF0);
}

TEST(Traffic, StrayBytesAreNeverTagsAndEveryRecordSurvivesThem)
{
    const Capture plain = capture(withTraffic(TrafficLevel::Normal), 20s);
    const Capture stray = capture(withTraffic(TrafficLevel::Normal, true), 20s);
    std::size_t strayCount = 0;
    for (const Bytes &reply : stray.replies)
        strayCount += parseReply(reply).strayBytes;
    EXPECT_GT(strayCount, 10u);
    ASSERT_EQ(stray.records.size(), plain.records.size());
    for (std::size_t i = 0; i < plain.records.size(); ++i)
        EXPECT_EQ(stray.records[i].frame, plain.records[i].frame) << i;
}

TEST(Traffic, SlowReaderGetsRecentTrafficOnly)
{
    DeviceModel model(withTraffic(TrafficLevel::Normal));
    model.handle(Bytes{2, 1}, kStart);
    const Bytes reply = model.handle(Bytes{1}, kStart + 1h).data;
    EXPECT_LE(reply.size(), kMaxReplyData);
    const ParsedReply parsed = parseReply(reply);
    ASSERT_FALSE(parsed.records.empty());
    EXPECT_GT(parsed.records.front().offsetMs, 3590000u);
}

TEST(Traffic, CaptureStartRestartsTheClock)
{
    DeviceModel model(withTraffic(TrafficLevel::Quiet));
    model.handle(Bytes{2, 1}, kStart);
    model.handle(Bytes{1}, kStart + 10s);
    model.handle(Bytes{2, 1}, kStart + 20s);
    const ParsedReply parsed = parseReply(model.handle(Bytes{1}, kStart + 20s + 500ms).data);
    ASSERT_FALSE(parsed.records.empty());
    EXPECT_LT(parsed.records.back().offsetMs, 500u);
}

TEST(Traffic, SameSeedAndTimesGiveTheSameBytes)
{
    const Capture first = capture(withTraffic(TrafficLevel::Normal, true), 10s);
    const Capture second = capture(withTraffic(TrafficLevel::Normal, true), 10s);
    EXPECT_EQ(first.replies, second.replies);
}
