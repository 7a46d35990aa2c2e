// Traffic capture: every reply parses into whole records of sound frames with credible times.
#include "CaptureCheck.h"
#include "sim/DeviceModel.h"
#include "sim/TrafficFrames.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt::sim;
using namespace xlt::test;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Level = TrafficLevel;

namespace {

const Clock::time_point kStart = Clock::time_point{} + 1h;

struct Capture
{
    std::vector<CapturedRecord> records;
    std::size_t strayBytes = 0;
};

/// Starts capture and reads every 50 ms for 20 s, checking each reply and record on the way.
Capture capture(Level level, bool stray = false)
{
    DeviceModel model({.traffic = level, .strayBytes = stray});
    EXPECT_EQ(model.handle(Bytes{2, 1}, kStart).status, kStatusAccepted);
    Capture out;
    for (auto t = 50ms; t <= 20s; t += 50ms) {
        const Bytes reply = model.handle(Bytes{1}, kStart + t).data;
        EXPECT_LE(reply.size(), kMaxReplyData);
        EXPECT_TRUE(level != Level::Flood || reply.size() == kMaxReplyData) << "flood fills it";
        out.strayBytes += reply.size();
        for (CapturedRecord &record : parseReply(reply)) {
            const std::string fault = checkFrame(record);
            EXPECT_EQ(fault, "") << "at " << record.offsetMs;
            if (!fault.empty())
                continue;
            EXPECT_LE(record.offsetMs, t.count()) << "a record from the future";
            out.strayBytes -= 6 + record.frame.size();
            out.records.push_back(std::move(record));
        }
    }
    return out;
}

/// ID003 codes, or the data bytes of SSP frames, recorded under `tag`.
std::set<std::uint8_t> codes(const Capture &run, std::uint8_t tag)
{
    std::set<std::uint8_t> out;
    for (const CapturedRecord &r : run.records) {
        if (r.tag == tag && (tag == kTagHostCommand || tag == kTagHostResponse))
            out.insert(r.frame[2]);
        else if (r.tag == tag)
            out.insert(r.frame.begin() + 3, r.frame.end() - 2);
    }
    return out;
}

} // namespace

TEST(TrafficFrames, SspStuffsEvery7FAfterTheStart)
{
    const Bytes frame = sspFrame(0x00, Bytes{0x7F, 0x01, 0x7F});
    EXPECT_EQ(frame.size(), 10u);
    EXPECT_EQ(checkFrame({kTagTargetCommand, 0, frame}), "");
}

TEST(Traffic, EveryLevelGivesSoundRecordsInTime)
{
    for (const auto &[level, stray] : {std::pair(Level::Quiet, false),
                                       {Level::Normal, false},
                                       {Level::Normal, true},
                                       {Level::Flood, false},
                                       {Level::Flood, true}}) {
        SCOPED_TRACE(testing::Message() << "level " << int(level) << " stray bytes " << stray);
        const Capture run = capture(level, stray);
        ASSERT_GT(run.records.size(), 20u);
        EXPECT_GT(run.records.back().offsetMs, 15000u);
        EXPECT_EQ(run.strayBytes > 10, stray);
        if (level == Level::Flood)
            continue; // a flood reply ends with a filler record stamped at the read
        std::optional<std::uint8_t> commandSeq, previousSeq;
        for (std::size_t i = 0; i < run.records.size(); ++i) {
            const CapturedRecord &record = run.records[i];
            EXPECT_GE(record.offsetMs, i ? run.records[i - 1].offsetMs : 0) << i;
            if (record.tag == kTagTargetCommand) {
                EXPECT_NE(record.frame[1], previousSeq) << "the bit toggles per command";
                commandSeq = previousSeq = record.frame[1];
            } else if (record.tag == kTagTargetResponse) {
                EXPECT_EQ(record.frame[1], commandSeq) << "a response echoes its command's";
                commandSeq.reset();
            }
        }
    }
}

TEST(Traffic, QuietOnlyPollsAndNormalAlsoTakesNotes)
{
    const Capture quiet = capture(Level::Quiet), normal = capture(Level::Normal);
    // tag, all that quiet traffic shows, some of what normal traffic shows
    const std::tuple<std::uint8_t, std::set<std::uint8_t>, std::set<std::uint8_t>> sides[] = {
        {kTagHostCommand, {0x11}, {0x11, 0x41, 0x50, 0xC3}},
        {kTagHostResponse, {0x11}, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x50, 0x1A}},
        {kTagTargetResponse, {0xF0}, {0xF0, 0xEF, 0xEE, 0xCC, 0xEB, 0xE8}}};
    for (const auto &[tag, polls, notes] : sides) {
        EXPECT_EQ(codes(quiet, tag), polls) << std::hex << int(tag);
        const auto seen = codes(normal, tag);
        EXPECT_TRUE(std::includes(seen.begin(), seen.end(), notes.begin(), notes.end()))
            << std::hex << int(tag);
    }
    const Capture stray = capture(Level::Normal, true);
    ASSERT_EQ(stray.records.size(), normal.records.size()) << "stray bytes change no record";
    for (std::size_t i = 0; i < normal.records.size(); ++i)
        EXPECT_EQ(stray.records[i].frame, normal.records[i].frame) << i;
}

TEST(Traffic, RecordsOnlyWhileCapturingAndRecentOnesOnly)
{
    DeviceModel model;
    const auto read = [&model](Clock::duration at) { return model.handle(Bytes{1}, kStart + at); };
    EXPECT_TRUE(read(0ms).data.empty()) << "never started";
    EXPECT_TRUE(read(60s).data.empty()) << "never started";
    model.handle(Bytes{2, 1}, kStart);
    const auto late = parseReply(read(1h).data);
    ASSERT_FALSE(late.empty());
    EXPECT_GT(late.front().offsetMs, 3590000u) << "a slow reader gets recent records";
    model.handle(Bytes{2, 1}, kStart + 2h);
    const auto restarted = parseReply(read(2h + 500ms).data);
    ASSERT_FALSE(restarted.empty());
    EXPECT_LT(restarted.back().offsetMs, 500u) << "each start restarts the clock";
    model.handle(Bytes{2, 0}, kStart + 2h + 600ms);
    EXPECT_TRUE(read(3h).data.empty()) << "stopped";
}
