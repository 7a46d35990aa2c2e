// The serial link against a pseudo-terminal whose other end this test drives itself: a small
// responder thread decodes each command and answers as scripted.
#include "PtyResponder.h"
#include "link/Framing.h"
#include "link/SerialLink.h"
#include "support/FakeLink.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace xlt;
using namespace xlt::link;
using test::Answer;
using test::Bytes;
using test::PtyResponder;
using namespace std::chrono_literals;

namespace {

Bytes reply(const framing::Frame &command, std::uint8_t status, const Bytes &data)
{
    return test::replyTo(command, status, data);
}

Bytes join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SerialLinkTest : public ::testing::Test
{
protected:
    void start(PtyResponder::Script script, std::uint32_t timeoutMs = 3000)
    {
        responder = std::make_unique<PtyResponder>(std::move(script));
        if (!responder->ok())
            GTEST_SKIP() << "no pseudo-terminal available (openpty failed)";
        ports.records = {{"\\Device\\USBSER000", "COM7", responder->slavePath()}};
        packet.PortNumber = 7;
        packet.BaudRate = kBaudRate;
        packet.Timeout = timeoutMs;
        ASSERT_NE(link.OpenXLTComPort(packet), 0) << "could not open " << responder->slavePath();
    }

    std::uint8_t send(std::initializer_list<std::uint8_t> command)
    {
        packet.CommandLength = static_cast<std::uint8_t>(command.size());
        std::copy(command.begin(), command.end(), packet.CommandData);
        packet.ReplyStatus = 0xEE;
        link.XLTSendCommand(packet);
        return packet.ReplyStatus;
    }

    Bytes replyBytes() const
    {
        return Bytes(packet.ReplyData, packet.ReplyData + packet.ReplyLength);
    }

    void TearDown() override
    {
        link.CloseXLTComPort();
        responder.reset();
    }

    test::FakePortSource ports;
    SerialLink link{ports};
    XLTPacket packet;
    std::unique_ptr<PtyResponder> responder;
};

const Bytes kIdentity{'P', 'R', '0', '1', ' ', '0', '1', '0', '2', '0', '0', '0', '3'};

} // namespace

TEST_F(SerialLinkTest, ValidReply)
{
    Bytes seen;
    start([&](const framing::Frame &command) {
        seen = command.data;
        return Answer{reply(command, ReplyOk, kIdentity)};
    });
    EXPECT_EQ(send({16}), ReplyOk);
    EXPECT_EQ(seen, Bytes{16});
    EXPECT_EQ(replyBytes(), kIdentity);
    // The port stays open for the next exchange.
    EXPECT_EQ(send({17, 0x7F}), ReplyOk);
    EXPECT_EQ(seen, (Bytes{17, 0x7F}));
}

TEST_F(SerialLinkTest, LongestReplyFullOf7F)
{
    start([](const framing::Frame &command) {
        return Answer{reply(command, ReplyOk, Bytes(255, 0x7F))};
    });
    EXPECT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(replyBytes(), Bytes(255, 0x7F));
}

TEST_F(SerialLinkTest, SequenceBitTogglesWithEveryCommand)
{
    std::vector<std::uint8_t> seqs;
    start([&](const framing::Frame &command) {
        seqs.push_back(command.seq);
        return Answer{reply(command, ReplyOk, {})};
    });
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(send({1}), ReplyOk);
    ASSERT_EQ(seqs.size(), 3u);
    EXPECT_NE(seqs[0], seqs[1]);
    EXPECT_EQ(seqs[0], seqs[2]);
    for (std::uint8_t seq : seqs)
        EXPECT_EQ(seq & 0x7F, 0);
}

TEST_F(SerialLinkTest, RefusalStatusPassesThroughAndLeavesTheReplyAlone)
{
    start([](const framing::Frame &command) { return Answer{reply(command, 4, {1, 2})}; });
    packet.ReplyLength = 3;
    packet.ReplyData[0] = 0x42;
    EXPECT_EQ(send({18}), 4);
    EXPECT_EQ(packet.ReplyLength, 3);
    EXPECT_EQ(packet.ReplyData[0], 0x42);
}

TEST_F(SerialLinkTest, ReplyFaults)
{
    struct Row
    {
        const char *name;
        std::function<Bytes(const framing::Frame &)> answer;
        std::uint8_t expected;
        std::uint32_t timeoutMs;
    };
    const Row rows[] = {
        {"no reply", [](const framing::Frame &) { return Bytes{}; }, CommandTimeOut, 300},
        {"noise only",
         [](const framing::Frame &) {
             return Bytes{1, 2, 3};
         },
         CommandTimeOut, 300},
        {"bad CRC",
         [](const framing::Frame &c) {
             Bytes r = reply(c, ReplyOk, kIdentity);
             r[r.size() - 2] ^= 0x10;
             return r;
         },
         PacketError, 3000},
        {"garbage before a valid reply",
         [](const framing::Frame &c) {
             return join({0x00, 0x7F, 0x55, 0xFF}, reply(c, ReplyOk, kIdentity));
         },
         ReplyOk, 3000},
        // Without the gap limit this would end in a time-out after the whole 3 s.
        {"frame stops part way",
         [](const framing::Frame &c) {
             Bytes r = reply(c, ReplyOk, kIdentity);
             r.resize(r.size() - 3);
             return r;
         },
         PacketError, 3000},
        {"command echoed back before the reply",
         [](const framing::Frame &c) {
             return join(framing::encodeCommand(c.seq, c.data), reply(c, ReplyOk, kIdentity));
         },
         ReplyOk, 3000},
        {"only a start byte and noise",
         [](const framing::Frame &) {
             return Bytes{0x7F, 0x55, 0x7F, 0x10};
         },
         CommandTimeOut, 300},
        {"stale reply with the other SEQ, then the right one",
         [](const framing::Frame &c) {
             const auto other = static_cast<std::uint8_t>(c.seq ^ framing::kSeqToggle);
             return join(framing::encodeReply(other, ReplyOk, Bytes{0xDE, 0xAD}),
                         reply(c, ReplyOk, kIdentity));
         },
         ReplyOk, 3000},
        {"only a stale reply",
         [](const framing::Frame &c) {
             return framing::encodeReply(static_cast<std::uint8_t>(c.seq ^ framing::kSeqToggle),
                                         ReplyOk, Bytes{1});
         },
         CommandTimeOut, 300},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        start([&](const framing::Frame &c) { return Answer{row.answer(c)}; }, row.timeoutMs);
        if (IsSkipped())
            return;
        EXPECT_EQ(send({16}), row.expected);
        if (row.expected == ReplyOk) {
            EXPECT_EQ(replyBytes(), kIdentity);
        }
        TearDown();
    }
}

TEST_F(SerialLinkTest, StaleInputIsDroppedBeforeEachCommand)
{
    start([](const framing::Frame &c) { return Answer{reply(c, ReplyOk, {1})}; });
    ASSERT_EQ(send({1}), ReplyOk);
    // Something arrives between exchanges that looks like the answer to the next command
    // (the next command's SEQ is the first one's toggled).
    responder->inject(framing::encodeReply(0x00 | framing::kSeqReply, ReplyOk, Bytes{0xBA, 0xD0}));
    responder->inject(framing::encodeReply(0x80 | framing::kSeqReply, ReplyOk, Bytes{0xBA, 0xD1}));
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(replyBytes(), Bytes{1});
}

TEST_F(SerialLinkTest, OtherSideClosingMidExchangeIsAPortError)
{
    start([](const framing::Frame &c) {
        Bytes half = reply(c, ReplyOk, kIdentity);
        half.resize(5);
        return Answer{half, true};
    });
    EXPECT_EQ(send({16}), PortError);
    // The link closed the port itself: the next send finds it closed.
    EXPECT_EQ(send({16}), ComPortClosed);
}

TEST_F(SerialLinkTest, DeviceGoneBeforeTheCommandIsAPortError)
{
    start([](const framing::Frame &) { return Answer{}; });
    responder.reset(); // both ends of the line closed
    EXPECT_EQ(send({16}), PortError);
    EXPECT_EQ(send({16}), ComPortClosed);
}

TEST_F(SerialLinkTest, OpenAndCloseStates)
{
    start([](const framing::Frame &c) { return Answer{reply(c, ReplyOk, {})}; });
    link.CloseXLTComPort();
    EXPECT_EQ(send({1}), ComPortClosed);
    link.CloseXLTComPort(); // closing twice does nothing

    const std::uint8_t unknownPorts[] = {0, 8, 255};
    for (std::uint8_t number : unknownPorts) {
        packet.PortNumber = number;
        EXPECT_EQ(link.OpenXLTComPort(packet), 0) << int(number);
    }
    packet.PortNumber = 7;
    ASSERT_NE(link.OpenXLTComPort(packet), 0);
    EXPECT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(responder->commands(), 1);
}

TEST_F(SerialLinkTest, MissingDeviceNodeDoesNotOpen)
{
    ports.records = {{"\\Device\\USBSER000", "COM9", "/dev/pts/no-such-pty"}};
    packet.PortNumber = 9;
    packet.BaudRate = kBaudRate;
    packet.Timeout = 100;
    EXPECT_EQ(link.OpenXLTComPort(packet), 0);
    EXPECT_EQ(send({1}), ComPortClosed);
}
