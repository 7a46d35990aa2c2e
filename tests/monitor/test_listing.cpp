// The traffic listing: the five-line blocks, the walk over a reply, the labels, the packet
// numbers, the cap, and the lines handed to the log files.
#include "monitor/TrafficListing.h"

#include "support/FakeLink.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using namespace xlt::monitor;
using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

class VectorList final : public LineList
{
public:
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override { lines.push_back(line); }
    void selectLast() override { selected = lines.size(); }
    Lines lines;
    std::size_t selected = 0; // number of lines when selectLast() was last called
};

class Label final : public TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

const std::string kRule = " ---------------------------------------------------------------";

Bytes record(std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    Bytes bytes = {tag,
                   static_cast<std::uint8_t>(offset),
                   static_cast<std::uint8_t>(offset >> 8),
                   static_cast<std::uint8_t>(offset >> 16),
                   static_cast<std::uint8_t>(offset >> 24),
                   static_cast<std::uint8_t>(frame.size())};
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ReplyData past ReplyLength holds 0xEE, as if left over from an earlier, longer reply.
xlt::link::XLTPacket reply(const Bytes &bytes)
{
    xlt::link::XLTPacket packet;
    std::fill(std::begin(packet.ReplyData), std::end(packet.ReplyData), 0xEE);
    packet.ReplyLength = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), packet.ReplyData);
    return packet;
}

const Bytes kSspPoll = {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02};
const Bytes kSspOk = {0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80};
const Bytes kStatusRequest = {0xFC, 0x05, 0x11, 0x27, 0x56};
const Bytes kDisabled = {0xFC, 0x05, 0x1A, 0xF4, 0xE8};

class Listing : public ::testing::Test
{
protected:
    TrafficListing::Added process(const Bytes &bytes) { return listing.ProcessCapture(reply(bytes)); }

    VectorList target;
    VectorList host;
    Label lblTarget;
    Label lblHost;
    xlt::test::CountingPump pump;
    TrafficListing listing{target, host, lblTarget, lblHost, pump};
};

TEST_F(Listing, SspPollAndReplyGiveTheTwoBlocksOfTheTargetLog)
{
    const auto added = process(join({record(0x35, 250, kSspPoll), record(0x55, 265, kSspOk)}));
    const Lines expected = {
        "Packet #0" + kRule,
        "Packet time offset: 250ms",
        "XLT TX  7F 80 01 07 12 02 ",
        "CMD: POLL ",
        " ",
        "Packet #1" + kRule,
        "Packet time offset: 265ms",
        "XLT RX  7F 80 01 F0 23 80 ",
        "GENERIC RSP: OK",
        " ",
    };
    EXPECT_EQ(target.lines, expected);
    EXPECT_EQ(added.target, expected);
    EXPECT_TRUE(added.host.empty());
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(target.selected, 10u);
    EXPECT_EQ(lblTarget.text, "SSP");
    EXPECT_EQ(lblHost.text, "");
    EXPECT_EQ(listing.TargetPacketCount, 2);
    EXPECT_EQ(listing.HostPacketCount, 0);
}

TEST_F(Listing, HostRecordsUseTheirOwnPrefixesAndNumbers)
{
    const auto added = process(join({record(0xAA, 1, kStatusRequest), record(0x35, 2, kSspPoll),
                                     record(0xCA, 3, kDisabled)}));
    const Lines expectedHost = {
        "Packet #0" + kRule,  "Packet time offset: 1ms", "XLT TX    FC 05 11 27 56 ",
        "HOST CMD: STATUS REQUEST  ", " ",
        "Packet #1" + kRule,  "Packet time offset: 3ms", "XLT RX    FC 05 1A F4 E8 ",
        "XLT RSP: DISABLED  ", " ",
    };
    EXPECT_EQ(host.lines, expectedHost);
    EXPECT_EQ(added.host, expectedHost);
    ASSERT_EQ(target.lines.size(), 5u);
    EXPECT_EQ(target.lines[0], "Packet #0" + kRule);
    EXPECT_EQ(lblHost.text, "PR01");
    EXPECT_EQ(lblTarget.text, "SSP");

    // The numbers go on with the next reply and start again with a new run.
    process(record(0xCA, 4, kDisabled));
    EXPECT_EQ(host.lines[10], "Packet #2" + kRule);
    listing.resetCounts();
    process(join({record(0xAA, 5, kStatusRequest), record(0x55, 6, kSspOk)}));
    EXPECT_EQ(host.lines[15], "Packet #0" + kRule);
    EXPECT_EQ(target.lines[5], "Packet #0" + kRule);
}

// Detection looks at the frame, not at the side.
TEST_F(Listing, ProtocolIsDetectedPerFrameWhicheverSide)
{
    process(join({record(0xAA, 0, kSspPoll), record(0x55, 0, kDisabled)}));
    EXPECT_EQ(lblTarget.text, "SSP");
    EXPECT_EQ(lblHost.text, "PR01");
    ASSERT_EQ(host.lines.size(), 5u);
    ASSERT_EQ(target.lines.size(), 5u);
    EXPECT_EQ(host.lines[2], "XLT TX    7F 80 01 07 12 02 ");
    EXPECT_EQ(host.lines[3], "");
    EXPECT_EQ(target.lines[2], "XLT RX  FC 05 1A F4 E8 ");
    EXPECT_EQ(target.lines[3], "");
}

TEST_F(Listing, FramesOfNoKnownProtocolLeaveTheLabels)
{
    lblTarget.text = "before";
    process(join({record(0x35, 0, {}), record(0xCA, 0, {0x00, 0x7F, 0xFC})}));
    EXPECT_EQ(target.lines, (Lines{"Packet #0" + kRule, "Packet time offset: 0ms", "XLT TX  ", "", " "}));
    EXPECT_EQ(host.lines[2], "XLT RX    00 7F FC ");
    EXPECT_EQ(host.lines[3], "");
    EXPECT_EQ(lblTarget.text, "before");
    EXPECT_EQ(lblHost.text, "");
}

TEST_F(Listing, StrayBytesAreSkippedOneByOne)
{
    // 0x00 and 0x7F are not tags; neither is 0x36 between two records.
    process(join({{0x00, 0x7F}, record(0x35, 250, kSspPoll), {0x36}, record(0x55, 1, kSspOk)}));
    ASSERT_EQ(target.lines.size(), 10u);
    EXPECT_EQ(target.lines[2], "XLT TX  7F 80 01 07 12 02 ");
    EXPECT_EQ(target.lines[7], "XLT RX  7F 80 01 F0 23 80 ");
    EXPECT_EQ(pump.calls, 5); // after every step of the walk: 3 stray bytes, 2 records
}

TEST_F(Listing, TimeOffsetsAreUnsignedLittleEndian)
{
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{0xFA, 0x00, 0x00, 0x00}, "250"},
        {{0x01, 0x02, 0x03, 0x04}, "67305985"},
        {{0xFF, 0xFF, 0xFF, 0x7F}, "2147483647"},
        {{0x00, 0x00, 0x00, 0x80}, "2147483648"},
        {{0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
    };
    for (const auto &[bytes, text] : cases) {
        target.clear();
        Bytes one = {0x35, bytes[0], bytes[1], bytes[2], bytes[3], 0x00};
        process(one);
        ASSERT_EQ(target.lines.size(), 5u);
        EXPECT_EQ(target.lines[1], "Packet time offset: " + text + "ms");
    }
}

TEST_F(Listing, PacketNumbersStartAgainAfterTheLargest)
{
    listing.TargetPacketCount = std::numeric_limits<std::int32_t>::max();
    process(join({record(0x35, 0, kSspPoll), record(0x55, 0, kSspOk)}));
    EXPECT_EQ(target.lines[0], "Packet #2147483647" + kRule);
    EXPECT_EQ(target.lines[5], "Packet #0" + kRule);
}

TEST_F(Listing, CapEmptiesAFullListOnceBeforeTheReply)
{
    struct Case
    {
        std::size_t before;
        std::size_t after;
    };
    for (const Case c : {Case{kListCap, 10}, Case{kListCap - 1, kListCap + 9}, Case{kListCap + 7, 10}}) {
        target.lines.assign(c.before, "old");
        host.lines.assign(c.before, "old");
        const auto added = process(join({record(0x35, 0, kSspPoll), record(0x55, 0, kSspOk),
                                         record(0xAA, 0, kStatusRequest), record(0xCA, 0, kDisabled)}));
        EXPECT_EQ(target.lines.size(), c.after) << "lines before: " << c.before;
        EXPECT_EQ(host.lines.size(), c.after) << "lines before: " << c.before;
        EXPECT_EQ(added.target.size(), 10u);
        EXPECT_EQ(added.host.size(), 10u);
    }
}

// A Clear List click while the reply is listed empties the list, but the log still gets every
// line of the reply.
TEST_F(Listing, ClearingAListDuringAReplyLosesNoLogLine)
{
    pump.onPump = [this] {
        if (pump.calls == 1)
            target.clear();
    };
    const auto added = process(join({record(0x35, 250, kSspPoll), record(0x55, 265, kSspOk)}));
    ASSERT_EQ(added.target.size(), 10u);
    EXPECT_EQ(added.target[0], "Packet #0" + kRule);
    EXPECT_EQ(added.target[5], "Packet #1" + kRule);
    EXPECT_EQ(target.lines, Lines(added.target.begin() + 5, added.target.end()));
}

TEST_F(Listing, NothingIsReadBeyondReplyLength)
{
    // The frame announces 6 bytes but the reply ends after 3 of them: only those are listed,
    // the decoder reads zeros for the rest, and the walk ends.
    Bytes cut = record(0x35, 7, kSspPoll);
    cut.resize(6 + 3);
    auto added = process(cut);
    EXPECT_EQ(added.target,
              (Lines{"Packet #0" + kRule, "Packet time offset: 7ms", "XLT TX  7F 80 01 ", "UNKNOWN COMMAND ", " "}));

    // A header cut by the end of the reply is not a record.
    for (std::size_t keep = 1; keep < 6; ++keep) {
        Bytes header = record(0x55, 7, kSspOk);
        header.resize(keep);
        added = process(join({record(0xAA, 1, kStatusRequest), header}));
        EXPECT_EQ(added.host.size(), 5u);
        EXPECT_TRUE(added.target.empty()) << keep << " header bytes";
    }
    EXPECT_EQ(listing.TargetPacketCount, 1);

    // A record that ends exactly at the end of a full reply is listed whole.
    Bytes full = {0x00};
    full.resize(255 - 6 - 100, 0x00);
    Bytes frame(100, 0x01);
    frame[0] = 0xFC;
    frame[1] = 100;
    frame[2] = 0x13;
    full = join({full, record(0xCA, 0, frame)});
    ASSERT_EQ(full.size(), 255u);
    added = process(full);
    ASSERT_EQ(added.host.size(), 5u);
    EXPECT_EQ(added.host[2].size(), std::string("XLT RX    ").size() + 300);
    EXPECT_EQ(added.host[2].substr(added.host[2].size() - 3), "01 ");
}

TEST_F(Listing, EmptyReplyListsNothing)
{
    const auto added = process({});
    EXPECT_TRUE(added.target.empty());
    EXPECT_TRUE(added.host.empty());
    EXPECT_EQ(pump.calls, 0);
}

} // namespace
