#include "link/Framing.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace xlt::link::framing;
using Bytes = std::vector<std::uint8_t>;
using Result = Decoder::Result;

namespace {

struct Outcome
{
    std::vector<Result> results; ///< every non-Pending result, in order
    std::vector<Frame> frames;   ///< the frames of the Complete results
};

Outcome feedAll(Decoder &decoder, const Bytes &bytes)
{
    Outcome outcome;
    for (std::uint8_t byte : bytes) {
        const Result result = decoder.feed(byte);
        if (result == Result::Pending)
            continue;
        outcome.results.push_back(result);
        if (result == Result::Complete)
            outcome.frames.push_back(decoder.frame());
    }
    return outcome;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes allValues(std::size_t n)
{
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>((i * 37 + 0x7F) & 0xFF);
    return data;
}

} // namespace

TEST(Framing, CommandLayoutOnTheLine)
{
    // 7F SEQ LEN DATA CRCL CRCH; CRC over 80 01 10.
    const Bytes frame = encodeCommand(0x80, Bytes{0x10});
    ASSERT_EQ(frame.size(), 6u);
    EXPECT_EQ(frame[0], 0x7F);
    EXPECT_EQ(frame[1], 0x80);
    EXPECT_EQ(frame[2], 0x01);
    EXPECT_EQ(frame[3], 0x10);
}

TEST(Framing, SevenFInsideAFrameIsDoubled)
{
    const Bytes frame = encodeReply(0x80, 0x7F, Bytes{0x7F, 0x01});
    // 7F | 81 | 02 | 7F 7F (status) | 7F 7F 01 | CRC...
    const Bytes head(frame.begin(), frame.begin() + 9);
    EXPECT_EQ(head, (Bytes{0x7F, 0x81, 0x02, 0x7F, 0x7F, 0x7F, 0x7F, 0x01, frame[8]}));
    // No lone 7F after the start byte.
    for (std::size_t i = 1; i < frame.size();) {
        if (frame[i] == 0x7F) {
            ASSERT_LT(i + 1, frame.size());
            EXPECT_EQ(frame[i + 1], 0x7F) << "at " << i;
            i += 2;
        } else {
            ++i;
        }
    }
}

TEST(Framing, RoundTrips)
{
    struct Row
    {
        const char *name;
        bool reply;
        std::uint8_t seq;
        std::uint8_t status;
        Bytes data;
    };
    const Row rows[] = {
        {"empty command", false, 0x00, 0, {}},
        {"one byte command", false, 0x80, 0, {16}},
        {"update block", false, 0x80, 0, allValues(131)},
        {"longest command", false, 0x00, 0, allValues(255)},
        {"all 7F command", false, 0x80, 0, Bytes(255, 0x7F)},
        {"accepted reply", true, 0x81, 3, {'P', 'R', '0', '1'}},
        {"refused reply", true, 0x01, 4, {}},
        {"status 7F", true, 0x81, 0x7F, {0x7F}},
        {"longest reply", true, 0x81, 3, allValues(255)},
        {"all 7F reply", true, 0x01, 3, Bytes(255, 0x7F)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes line = row.reply ? encodeReply(row.seq, row.status, row.data)
                                     : encodeCommand(row.seq, row.data);
        EXPECT_LE(line.size(), kMaxFrameOnLine);
        Decoder decoder(row.reply);
        const Outcome outcome = feedAll(decoder, line);
        ASSERT_EQ(outcome.results, std::vector<Result>{Result::Complete});
        EXPECT_EQ(outcome.frames[0].seq, row.seq);
        EXPECT_EQ(outcome.frames[0].data, row.data);
        if (row.reply) {
            EXPECT_EQ(outcome.frames[0].status, row.status);
        }
        EXPECT_FALSE(decoder.inFrame());
    }
}

TEST(Framing, DecoderCases)
{
    const Bytes good = encodeReply(0x81, 3, Bytes{1, 2, 3});
    Bytes badCrc = good;
    badCrc[badCrc.size() - 1] ^= 0x01;
    Bytes flippedData = good;
    flippedData[5] ^= 0x40;
    Bytes truncated(good.begin(), good.end() - 2);
    // LEN says 4 but only 3 data bytes follow: the CRC bytes are read as data and a later
    // byte as CRC, so the frame cannot check out.
    Bytes wrongLength = good;
    wrongLength[2] = 4;
    Bytes shortLength = good;
    shortLength[2] = 2;

    struct Row
    {
        const char *name;
        Bytes line;
        std::vector<Result> expected;
        bool endsInFrame;
    };
    const Row rows[] = {
        {"garbage before a frame",
         concat({{0x00, 0xFF, 0x03, 0x81}, good}),
         {Result::Complete},
         false},
        {"lone 7F before a frame", concat({{0x7F}, good}), {Result::Complete}, false},
        {"lone 7F aborts a frame",
         concat({Bytes(good.begin(), good.begin() + 5), good}),
         {Result::Complete},
         false},
        {"two frames back to back",
         concat({good, good}),
         {Result::Complete, Result::Complete},
         false},
        {"bad CRC", badCrc, {Result::BadCrc}, false},
        {"damaged data", flippedData, {Result::BadCrc}, false},
        {"bad CRC then good frame",
         concat({badCrc, good}),
         {Result::BadCrc, Result::Complete},
         false},
        {"truncated", truncated, {}, true},
        {"length too long", concat({wrongLength, {0x00}}), {Result::BadCrc}, false},
        {"length too short", shortLength, {Result::BadCrc}, false},
        {"command frame to a reply decoder",
         encodeCommand(0x80, Bytes{1}),
         {Result::Malformed},
         false},
        {"SEQ with other bits", {0x7F, 0x83, 0x00, 0x03, 0x00, 0x00}, {Result::Malformed}, false},
        {"noise only", {0x01, 0x02, 0x03}, {}, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Decoder decoder(true);
        const Outcome outcome = feedAll(decoder, row.line);
        EXPECT_EQ(outcome.results, row.expected);
        for (const Frame &frame : outcome.frames)
            EXPECT_EQ(frame.data, (Bytes{1, 2, 3}));
        EXPECT_EQ(decoder.inFrame(), row.endsInFrame);
    }
}

TEST(Framing, FrameSplitAcrossReadsAtEveryPoint)
{
    // The link feeds whatever each read returned; a frame cut anywhere, also between the two
    // bytes of a doubled 7F, must come out whole.
    const Bytes line = encodeReply(0x01, 3, Bytes{0x7F, 0x00, 0x7F});
    for (std::size_t cut = 1; cut < line.size(); ++cut) {
        SCOPED_TRACE(cut);
        Decoder decoder(true);
        const Outcome first = feedAll(decoder, Bytes(line.begin(), line.begin() + long(cut)));
        EXPECT_TRUE(first.results.empty());
        EXPECT_TRUE(decoder.inFrame());
        const Outcome second = feedAll(decoder, Bytes(line.begin() + long(cut), line.end()));
        ASSERT_EQ(second.results, std::vector<Result>{Result::Complete});
        EXPECT_EQ(second.frames[0].data, (Bytes{0x7F, 0x00, 0x7F}));
    }
}

TEST(Framing, OverlongDataIsCutToWhatLenCanSay)
{
    Decoder decoder(false);
    const Outcome outcome = feedAll(decoder, encodeCommand(0x00, allValues(300)));
    ASSERT_EQ(outcome.frames.size(), 1u);
    EXPECT_EQ(outcome.frames[0].data, allValues(255));
}
