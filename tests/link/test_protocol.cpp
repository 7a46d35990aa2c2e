#include "link/XLT_protocol.h"
#include "support/FakeLink.h"

#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::link;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

class ProtocolTest : public ::testing::Test, public test::FakeDevice
{
protected:
    Bytes image = Bytes(std::size_t{128} * 302); // an update image of 301 blocks after its header

    /// Runs `procedure` as an operation on a record set up for port 5.
    bool inFlow(const std::function<bool(Flow &, XLTPacket &)> &procedure)
    {
        return runToEnd<bool>(context, "test",
                              [&procedure](Flow &flow) {
                                  flow.CmdPacket.PortNumber = 5;
                                  return procedure(flow, flow.CmdPacket);
                              })
            .value_or(false);
    }
};

TEST_F(ProtocolTest, RunXLTCommandResultCodes)
{
    const std::pair<std::uint8_t, const char *> rows[] = {
        {0, "COM PORT CLOSED"}, {1, "COM PORT OPEN"},    {2, "PORT ERROR"}, {3, nullptr},
        {4, "PACKET ERROR"},    {5, "COMMAND TIME_OUT"}, {9, ""},
    };
    for (const auto &[code, word] : rows) {
        SCOPED_TRACE(code);
        notifier.messages.clear();
        link.closeCalls = 0;
        link.replies.push_back({code, {}});
        EXPECT_EQ(inFlow([](Flow &flow, XLTPacket &packet) {
                      OpenXLTComPort(flow, packet);
                      return RunXLTCommand(flow, packet);
                  }),
                  !word);
        // Only REPLY OK passes, silently, and leaves the port open for the next command.
        EXPECT_EQ(notifier.texts(),
                  word ? Texts{std::string("XLT Command transmission error ") + word} : Texts{});
        for (const auto &message : notifier.messages)
            EXPECT_EQ(message.icon, core::Icon::Exclamation);
        EXPECT_EQ(std::pair(link.isOpen, link.closeCalls), std::pair(!word, word ? 1 : 0));
    }
}

// The bytes each procedure sends are checked where they are used: the update's blocks
// (Updater), the configuration write (Pr01Configuration, OptionsWindow).
TEST_F(ProtocolTest, RefusedBlocksAndPortsThatDoNotOpenSendNothingSilently)
{
    const auto block = [this](Bytes bytes, std::uint16_t n) {
        return inFlow([&](Flow &f, XLTPacket &p) { return SendXLTUpdateBlock(f, p, bytes, n); });
    };
    EXPECT_FALSE(block(Bytes(image.begin(), image.end() - 1), 300));
    EXPECT_FALSE(block(image, 301)); // 300 is the last of 302 * 128
    EXPECT_FALSE(block(Bytes{}, 0));
    EXPECT_FALSE(block(image, 65535));
    EXPECT_EQ(link.openCalls, 0);
    link.openSucceeds = false;
    EXPECT_FALSE(inFlow([](Flow &f, XLTPacket &p) { return ReadXLTVersion(f, p); }));
    EXPECT_FALSE(block(image, 0));
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(link.closeCalls, 0);
    EXPECT_TRUE(notifier.messages.empty());
}

// A port that exists but cannot be opened is told once, with the link's reason, by every
// procedure that opens it; a vanished port (no reason) stays silent.
TEST_F(ProtocolTest, FailedOpenTellsTheLinksReasonOnce)
{
    link.openSucceeds = false;
    const std::vector<std::function<bool(Flow &, XLTPacket &)>> procedures = {
        [](Flow &f, XLTPacket &p) { return OpenXLTComPort(f, p) != 0; },
        [](Flow &f, XLTPacket &p) { return ReadXLTVersion(f, p); },
        [](Flow &f, XLTPacket &p) { return ReadXLTConfig(f, p); },
    };
    for (const std::string why : {"Permission denied: join the dialout group.", ""}) {
        link.whyNotOpen = why;
        for (std::size_t i = 0; i < procedures.size(); ++i) {
            notifier.messages.clear();
            EXPECT_FALSE(inFlow(procedures[i])) << i;
            EXPECT_EQ(notifier.texts(), why.empty() ? Texts{} : Texts{why}) << i;
        }
    }
    EXPECT_TRUE(link.sent.empty());
}
