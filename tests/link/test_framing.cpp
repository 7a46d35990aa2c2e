#include "link/Framing.h"

#include <gtest/gtest.h>

using namespace xlt::link::framing;
using Bytes = std::vector<std::uint8_t>;
using Result = Decoder::Result;
using Results = std::vector<Result>;

/// Feeds every byte; returns the non-Pending results and the frames completed.
static std::pair<Results, std::vector<Frame>> feedAll(Decoder &decoder,
                                                      std::span<const std::uint8_t> bytes)
{
    std::pair<Results, std::vector<Frame>> out;
    for (std::uint8_t byte : bytes) {
        const Result result = decoder.feed(byte);
        if (result != Result::Pending)
            out.first.push_back(result);
        if (result == Result::Complete)
            out.second.push_back(decoder.frame());
    }
    return out;
}

static Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

static Bytes allValues(std::size_t n)
{
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = std::uint8_t(i * 37 + 0x7F);
    return data;
}

TEST(Framing, LineLayoutDoublesEvery7FAfterTheStart)
{
    const Bytes reply = encodeReply(0x80, 0x7F, Bytes{0x7F, 0x01}); // 7F SEQ LEN STATUS DATA CRC
    EXPECT_EQ(Bytes(reply.begin(), reply.end() - 2),
              (Bytes{0x7F, 0x81, 0x02, 0x7F, 0x7F, 0x7F, 0x7F, 0x01}));
}

TEST(Framing, RoundTripsSplitAcrossTwoReadsAtEveryPoint)
{
    // (reply?, SEQ, status, data); data beyond 255 bytes is cut to what LEN can say.
    const std::tuple<bool, std::uint8_t, std::uint8_t, Bytes> rows[] = {
        {false, 0x00, 0, {}},
        {false, 0x00, 0, allValues(255)},
        {false, 0x80, 0, Bytes(255, 0x7F)},
        {false, 0x00, 0, allValues(300)},
        {true, 0x01, 4, {}},
        {true, 0x81, 0x7F, {0x7F, 0x02, 0x7F}}, // the CRC's high byte is 7F too
        {true, 0x81, 3, allValues(255)},
        {true, 0x01, 3, Bytes(255, 0x7F)}};
    for (const auto &[reply, seq, status, data] : rows) {
        const Bytes line = reply ? encodeReply(seq, status, data) : encodeCommand(seq, data);
        EXPECT_LE(line.size(), kMaxFrameOnLine);
        const Bytes sent(data.begin(),
                         data.begin() + std::min<std::ptrdiff_t>(std::ssize(data), 255));
        for (std::size_t cut = 1; cut < line.size(); ++cut) { // also between a doubled 7F
            SCOPED_TRACE(testing::Message() << reply << " " << data.size() << " cut " << cut);
            Decoder decoder(reply);
            ASSERT_TRUE(feedAll(decoder, std::span(line).first(cut)).first.empty());
            ASSERT_TRUE(decoder.inFrame());
            const auto [results, frames] = feedAll(decoder, std::span(line).subspan(cut));
            ASSERT_EQ(results, Results{Result::Complete});
            EXPECT_EQ(std::tie(frames[0].seq, frames[0].data), std::tie(seq, sent));
            EXPECT_EQ(frames[0].status, reply ? status : 0);
            EXPECT_FALSE(decoder.inFrame());
        }
    }
}

TEST(Framing, DecoderCases)
{
    const Bytes good = encodeReply(0x81, 3, Bytes{1, 2, 3});
    const auto changed = [&good](std::size_t at, int value) {
        Bytes b = good;
        b[at] = std::uint8_t(value);
        return b;
    };
    const Bytes badCrc = changed(good.size() - 1, good.back() ^ 0x01);
    const Result C = Result::Complete, Bad = Result::BadCrc, Malformed = Result::Malformed;
    const std::tuple<const char *, Bytes, Results> rows[] = {
        {"garbage before a frame", cat({0x00, 0xFF, 0x03, 0x81}, good), {C}},
        {"lone 7F before a frame", cat({0x7F}, good), {C}},
        {"lone 7F aborts a frame", cat(Bytes(good.begin(), good.begin() + 5), good), {C}},
        {"7F 7F before a frame", cat({0x7F, 0x7F}, good), {C}},
        {"a run of 7F before a frame", cat(Bytes(6, 0x7F), good), {C}},
        {"noise header and 7F before a frame", cat({0x7F, 0x01, 0x05, 0x03, 0x7F}, good), {C}},
        {"noise header, 7F 7F before a frame",
         cat({0x7F, 0x01, 0x02, 0x03, 0x7F, 0x7F}, good),
         {C}},
        {"bad CRC frame ending in 7F, then a frame",
         cat(changed(good.size() - 1, 0x7F), good),
         {C}},
        {"two frames back to back", cat(good, good), {C, C}},
        {"bad CRC", badCrc, {Bad}},
        {"damaged data", changed(5, good[5] ^ 0x40), {Bad}},
        {"bad CRC then good frame", cat(badCrc, good), {Bad, C}},
        {"length too long", cat(changed(2, 4), {0x00}), {Bad}},
        {"length too short", changed(2, 2), {Bad}},
        {"command to a reply decoder", encodeCommand(0x80, Bytes{1}), {Malformed}},
        {"SEQ with other bits", {0x7F, 0x83, 0x00, 0x03, 0x00, 0x00}, {Malformed}},
        {"truncated (stays in the frame)", Bytes(good.begin(), good.end() - 2), {}}};
    for (const auto &[name, line, expected] : rows) {
        SCOPED_TRACE(name);
        Decoder decoder(true);
        const auto [results, frames] = feedAll(decoder, line);
        EXPECT_EQ(results, expected);
        for (const Frame &frame : frames)
            EXPECT_EQ(frame.data, (Bytes{1, 2, 3}));
        EXPECT_EQ(decoder.inFrame(), std::string(name).starts_with("truncated"));
    }
}

TEST(Framing, FlushFindsAReplyThatNoiseTookForData)
{
    // After the line went quiet part way through a frame: is there a whole frame in its bytes?
    const Bytes empty = encodeReply(0x81, 3, Bytes{});
    const Bytes good = encodeReply(0x81, 3, Bytes{1, 2, 3});
    const std::tuple<const char *, Bytes, bool> rows[] = {
        {"noise header with a long LEN, then a short reply",
         cat({0x7F, 0x01, 0x05, 0x03, 0x7F}, empty), true},
        {"noise header with LEN 255, then a reply", cat({0x7F, 0x01, 0xFF, 0x03, 0x7F}, good),
         true},
        {"two noise headers, then a reply",
         cat({0x7F, 0x01, 0x40, 0x03, 0x7F, 0x7F, 0x01, 0x30, 0x7F}, good), true},
        {"a reply cut short", Bytes(good.begin(), good.end() - 1), false},
        {"noise only", {0x7F, 0x01, 0x05, 0x03, 0x7F, 0x7F, 0x00}, false}};
    for (const auto &[name, line, found] : rows) {
        SCOPED_TRACE(name);
        Decoder decoder(true);
        ASSERT_TRUE(feedAll(decoder, line).first.empty());
        ASSERT_TRUE(decoder.inFrame());
        EXPECT_EQ(decoder.flush(), found ? Result::Complete : Result::Pending);
        EXPECT_FALSE(decoder.inFrame());
        if (found) {
            EXPECT_EQ(decoder.frame().seq, 0x81);
        }
    }
}
