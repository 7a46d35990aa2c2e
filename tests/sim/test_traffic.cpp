// Traffic capture: every reply parses into whole records of sound frames with credible times.
// The records are read back and checked as the monitor checks them, independently of how the
// emulator builds them. (Its bad-CRC option: tests/cli/test_raw_check.sh.)
#include "monitor/TrafficAnalysis.h"
#include "sim/DeviceModel.h"
#include "sim/TrafficFrames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Level = TrafficLevel;

namespace {

const Clock::time_point kStart = Clock::time_point{} + 1h;

struct CapturedRecord
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    std::vector<std::uint8_t> frame;
    bool operator==(const CapturedRecord &) const = default;
};

/// Walks a reply as the monitor does: a tag starts a record, any other byte is skipped. A record
/// that runs past the reply ends the list with tag 0, which checkFrame refuses.
std::vector<CapturedRecord> parseReply(const std::vector<std::uint8_t> &r)
{
    std::vector<CapturedRecord> out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] != 0x55 && r[i] != 0x35 && r[i] != 0xAA && r[i] != 0xCA)
            continue;
        if (i + 6 > r.size() || i + 6 + r[i + 5] > r.size()) {
            out.push_back({});
            break;
        }
        out.push_back({r[i], 0, {r.begin() + long(i) + 6, r.begin() + long(i) + 6 + r[i + 5]}});
        for (std::size_t b = 0; b < 4; ++b)
            out.back().offsetMs |= std::uint32_t(r[i + 1 + b]) << (8 * b);
        i += 5 + std::size_t{r[i + 5]};
    }
    return out;
}

/// Empty when the record's frame is sound for its protocol (the monitor's CRC check, which
/// undoes an SSP frame's stuffing; an ID003 frame's length); otherwise what is wrong.
std::string checkFrame(const CapturedRecord &record)
{
    const auto &f = record.frame;
    const bool ssp = record.tag == 0x35 || record.tag == 0x55;
    if (record.tag == 0 || f.size() < 5 || f[0] != (ssp ? 0x7F : 0xFC) ||
        (!ssp && f[1] != f.size()))
        return "a frame of the wrong shape, or a record cut short";
    return xlt::monitor::checkFrameCrc(f) == xlt::monitor::CrcVerdict::Good ? "" : "CRC wrong";
}

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
            EXPECT_GE(record.offsetMs, out.records.empty() ? 0u : out.records.back().offsetMs);
            out.strayBytes -= 6 + record.frame.size();
            out.records.push_back(std::move(record));
        }
    }
    return out;
}

/// The bytes recorded under `tag` from the code on (ID003) or the data (SSP), CRC left out.
std::set<std::uint8_t> codes(const Capture &run, std::uint8_t tag)
{
    const long first = tag == kTagHostCommand || tag == kTagHostResponse ? 2 : 3;
    std::set<std::uint8_t> out;
    for (const CapturedRecord &r : run.records)
        if (r.tag == tag)
            out.insert(r.frame.begin() + first, r.frame.end() - 2);
    return out;
}

} // namespace

// Every level gives sound records in time order (capture() checks each); quiet traffic only
// polls, normal traffic also takes notes, and stray bytes between records change none of them.
TEST(Traffic, QuietOnlyPollsAndNormalAlsoTakesNotes)
{
    const Capture quiet = capture(Level::Quiet);
    const Capture normal = capture(Level::Normal);
    // tag, all that quiet traffic shows, some of what normal traffic shows
    const std::tuple<std::uint8_t, std::set<std::uint8_t>, std::set<std::uint8_t>> sides[] = {
        {kTagHostCommand, {0x11}, {0x11, 0x41, 0x50, 0xC3}},
        {kTagHostResponse, {0x11}, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x50, 0x1A}},
        {kTagTargetResponse, {0xF0}, {0xF0, 0xEF, 0xEE, 0xCC, 0xEB, 0xE8}}};
    for (const auto &[tag, polls, notes] : sides) {
        EXPECT_EQ(codes(quiet, tag), polls) << std::hex << int(tag);
        EXPECT_THAT(codes(normal, tag), testing::IsSupersetOf(notes)) << std::hex << int(tag);
    }
    const Capture stray = capture(Level::Normal, true);
    EXPECT_TRUE(stray.records == normal.records) << "stray bytes change no record";
    EXPECT_EQ(std::tuple(quiet.strayBytes, normal.strayBytes > 0, stray.strayBytes > 10),
              std::tuple(std::size_t{0}, false, true));
    EXPECT_GT(capture(Level::Flood, true).records.back().offsetMs, 15000u);
}

TEST(Traffic, RecordsOnlyWhileCapturingAndRecentOnesOnly)
{
    DeviceModel model({.traffic = Level::Flood});
    const auto read = [&model](Clock::duration at) { return model.handle(Bytes{1}, kStart + at); };
    EXPECT_TRUE(read(0ms).data.empty() && read(60s).data.empty()) << "never started";
    model.handle(Bytes{2, 1}, kStart);
    for (auto t = 5s; t < 60s; t += 5s)
        read(t); // far slower than the flood: the backlog keeps the newest records only
    EXPECT_GT(parseReply(read(60s).data).at(0).offsetMs, 50000u)
        << "a slow reader gets recent ones";
    model.handle(Bytes{2, 1}, kStart + 2h);
    EXPECT_LE(parseReply(read(2h + 500ms).data).at(0).offsetMs, 500u) << "each start restarts it";
    model.handle(Bytes{2, 0}, kStart + 2h + 600ms);
    EXPECT_TRUE(read(3h).data.empty()) << "stopped";
}
