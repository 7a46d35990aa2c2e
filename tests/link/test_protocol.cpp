#include "link/XLT_protocol.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <array>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using namespace xlt;
using namespace xlt::link;
using Bytes = std::vector<std::uint8_t>;

namespace {

class ProtocolTest : public ::testing::Test
{
protected:
    ProtocolTest()
        : context(link, ports, notifier, pump)
    {
        context.CmdPacket.PortNumber = 5;
        context.CmdPacket.BaudRate = kBaudRate;
        context.CmdPacket.Timeout = kTimeoutMs;
    }

    Bytes replyBytes() const
    {
        const XLTPacket &p = context.CmdPacket;
        return Bytes(p.ReplyData, p.ReplyData + p.ReplyLength);
    }

    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    DeviceContext context;
};

Bytes imageOf(std::size_t size)
{
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return image;
}

} // namespace

TEST(ReplyStatusText, Words)
{
    const std::pair<int, const char *> rows[] = {
        {0, "COM PORT CLOSED"},
        {1, "COM PORT OPEN"},
        {2, "PORT ERROR"},
        {3, "REPLY OK"},
        {4, "PACKET ERROR"},
        {5, "COMMAND TIME_OUT"},
        {6, ""},
        {9, ""},
        {255, ""},
    };
    for (const auto &[code, word] : rows)
        EXPECT_EQ(ReplyStatusText(static_cast<std::uint8_t>(code)), word) << code;
}

TEST_F(ProtocolTest, RunSucceedsOnlyOnReplyOk)
{
    ASSERT_NE(OpenXLTComPort(context, context.CmdPacket), 0);
    link.replies.push_back({ReplyOk, {0xAA, 0xBB}});
    context.CmdPacket.CommandLength = 1;
    context.CmdPacket.CommandData[0] = kCmdCaptureRead;
    EXPECT_TRUE(RunXLTCommand(context, context.CmdPacket));
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(link.isOpen);
    EXPECT_EQ(link.closeCalls, 0);
    EXPECT_EQ(replyBytes(), (Bytes{0xAA, 0xBB}));
}

TEST_F(ProtocolTest, EveryFailureCodeShowsItsWordAndClosesThePort)
{
    const std::pair<std::uint8_t, const char *> rows[] = {
        {0, "XLT Command transmission error COM PORT CLOSED"},
        {1, "XLT Command transmission error COM PORT OPEN"},
        {2, "XLT Command transmission error PORT ERROR"},
        {4, "XLT Command transmission error PACKET ERROR"},
        {5, "XLT Command transmission error COMMAND TIME_OUT"},
        {9, "XLT Command transmission error "},
    };
    for (const auto &[code, text] : rows) {
        SCOPED_TRACE(code);
        notifier.messages.clear();
        link.closeCalls = 0;
        OpenXLTComPort(context, context.CmdPacket);
        link.replies.push_back({code, {}});
        EXPECT_FALSE(RunXLTCommand(context, context.CmdPacket));
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].text, text);
        EXPECT_EQ(notifier.messages[0].icon, core::Icon::Exclamation);
        EXPECT_EQ(link.closeCalls, 1);
        EXPECT_FALSE(link.isOpen);
    }
}

TEST_F(ProtocolTest, SendOnAClosedPortReportsIt)
{
    EXPECT_FALSE(RunXLTCommand(context, context.CmdPacket));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COM PORT CLOSED"});
}

TEST_F(ProtocolTest, ProceduresSendTheirCommandBytes)
{
    std::array<std::uint8_t, kConfigBlockSize> config{};
    std::iota(config.begin(), config.end(), std::uint8_t{100});
    Bytes writeCommand{kCmdWriteConfig};
    writeCommand.insert(writeCommand.end(), config.begin(), config.end());

    struct Row
    {
        const char *name;
        bool (*run)(DeviceContext &, XLTPacket &, const std::array<std::uint8_t, 128> &);
        Bytes expected;
    };
    const Row rows[] = {
        {"ReadXLTVersion",
         [](DeviceContext &c, XLTPacket &p, const auto &) { return ReadXLTVersion(c, p); },
         {16}},
        {"ReadXLTConfig",
         [](DeviceContext &c, XLTPacket &p, const auto &) { return ReadXLTConfig(c, p); },
         {17}},
        {"WriteXLTConfig",
         [](DeviceContext &c, XLTPacket &p, const auto &cfg) { return WriteXLTConfig(c, p, cfg); },
         writeCommand},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        link.sent.clear();
        link.openCalls = link.closeCalls = 0;
        EXPECT_TRUE(row.run(context, context.CmdPacket, config));
        ASSERT_EQ(link.sent.size(), 1u);
        EXPECT_EQ(link.sent[0], row.expected);
        EXPECT_EQ(link.openCalls, 1);
        EXPECT_EQ(link.closeCalls, 1);
        EXPECT_EQ(link.openedPort, 5);
    }
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(ProtocolTest, ReplyStaysInTheRecordAfterTheClose)
{
    link.replies.push_back(
        {ReplyOk, {'P', 'R', '0', '1', ' ', '0', '1', '0', '2', '0', '0', '0', '3'}});
    ASSERT_TRUE(ReadXLTVersion(context, context.CmdPacket));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(replyText(context.CmdPacket), "PR01 01020003");
}

TEST_F(ProtocolTest, BytesBeyondCommandLengthAreKept)
{
    context.CmdPacket.CommandData[1] = 0x55;
    context.CmdPacket.CommandData[200] = 0x66;
    ASSERT_TRUE(ReadXLTConfig(context, context.CmdPacket));
    EXPECT_EQ(context.CmdPacket.CommandLength, 1);
    EXPECT_EQ(context.CmdPacket.CommandData[1], 0x55);
    EXPECT_EQ(context.CmdPacket.CommandData[200], 0x66);
}

TEST_F(ProtocolTest, PortThatDoesNotOpenFailsSilently)
{
    link.openSucceeds = false;
    EXPECT_FALSE(ReadXLTVersion(context, context.CmdPacket));
    const Bytes image = imageOf(1024);
    EXPECT_FALSE(SendXLTUpdateBlock(context, context.CmdPacket, image, 0));
    EXPECT_TRUE(link.sent.empty());
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(link.closeCalls, 0);
}

TEST_F(ProtocolTest, FailedExchangeInAProcedureClosesOnce)
{
    link.replies.push_back({CommandTimeOut, {}});
    EXPECT_FALSE(ReadXLTConfig(context, context.CmdPacket));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});
    EXPECT_EQ(link.closeCalls, 1);
}

TEST_F(ProtocolTest, UpdateBlocksCarryTheirImageSlice)
{
    const Bytes image = imageOf(128 * 302);
    struct Row
    {
        std::uint16_t block;
        std::uint8_t low;
        std::uint8_t high;
    };
    for (const Row &row : {Row{0, 0, 0}, Row{1, 1, 0}, Row{255, 255, 0}, Row{300, 44, 1}}) {
        SCOPED_TRACE(row.block);
        link.sent.clear();
        ASSERT_TRUE(SendXLTUpdateBlock(context, context.CmdPacket, image, row.block));
        ASSERT_EQ(link.sent.size(), 1u);
        const Bytes &sent = link.sent[0];
        ASSERT_EQ(sent.size(), 131u);
        EXPECT_EQ(sent[0], kCmdUpdateBlock);
        EXPECT_EQ(sent[1], row.low);
        EXPECT_EQ(sent[2], row.high);
        const auto first = image.begin() + 128 * (row.block + 1);
        EXPECT_EQ(Bytes(sent.begin() + 3, sent.end()), Bytes(first, first + 128));
    }
}

TEST_F(ProtocolTest, BlockOutsideTheImageIsRefusedWithoutSending)
{
    const Bytes image = imageOf(128 * 302);
    // Block 300 needs 128 * 302 bytes: one byte fewer and it is refused, as is block 301.
    const Bytes shorter(image.begin(), image.end() - 1);
    EXPECT_FALSE(SendXLTUpdateBlock(context, context.CmdPacket, shorter, 300));
    EXPECT_FALSE(SendXLTUpdateBlock(context, context.CmdPacket, image, 301));
    EXPECT_FALSE(SendXLTUpdateBlock(context, context.CmdPacket, Bytes{}, 0));
    EXPECT_FALSE(SendXLTUpdateBlock(context, context.CmdPacket, image, 65535));
    EXPECT_EQ(link.openCalls, 0);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_TRUE(notifier.messages.empty());
}

TEST(ProtocolNameToCode, Table)
{
    const std::pair<const char *, const char *> rows[] = {
        {"TH001", "PR00"},    {"ID003", "PR01"},  {"NT001", "PR03"}, {"ID300", "PR04"},
        {"AD001", "PR05"},    {"id003", "id003"}, {"PR01", "PR01"},  {"", ""},
        {"ID003 ", "ID003 "}, {"PR02", "PR02"},
    };
    for (const auto &[name, code] : rows)
        EXPECT_EQ(ProtocolNameToCode(name), code) << name;
}
