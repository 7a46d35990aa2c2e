// The in-process link: the device's faults become the link's result codes at once.
#include "link/XLT_protocol.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::sim;
using namespace std::chrono_literals;

namespace {

std::uint8_t sendIdentity(InProcessLink &link)
{
    link::XLTPacket packet;
    packet.PortNumber = 129;
    if (!link.isOpen() && link.OpenXLTComPort(packet) == 0)
        return 0xEE;
    packet.CommandLength = 1;
    packet.CommandData[0] = 16;
    link.XLTSendCommand(packet);
    return packet.ReplyStatus;
}

} // namespace

TEST(InProcessLink, FaultsBecomeResultCodes)
{
    struct Case
    {
        Fault fault;
        std::uint8_t status;
        bool staysOpen;
    };
    const Case cases[] = {
        {Fault::None, link::ReplyOk, true},          {Fault::NoReply, link::CommandTimeOut, true},
        {Fault::BadCrc, link::PacketError, true},    {Fault::GarbageOnly, link::PacketError, true},
        {Fault::GarbageBefore, link::ReplyOk, true}, {Fault::FailStatus, 9, true},
    };
    for (const Case &c : cases) {
        DeviceOptions options;
        options.fault = c.fault;
        options.failStatus = 9;
        DeviceModel model(options);
        InProcessLink link(model);
        EXPECT_EQ(sendIdentity(link), c.status) << int(c.fault);
        EXPECT_EQ(link.isOpen(), c.staysOpen) << int(c.fault);
    }
}

TEST(InProcessLink, ReplyLandsInTheRecordAndStaysAfterClose)
{
    DeviceModel model;
    InProcessLink link(model);
    link::XLTPacket packet;
    ASSERT_NE(link.OpenXLTComPort(packet), 0);
    packet.CommandLength = 1;
    packet.CommandData[0] = 17;
    link.XLTSendCommand(packet);
    link.CloseXLTComPort();
    ASSERT_EQ(packet.ReplyStatus, link::ReplyOk);
    ASSERT_EQ(packet.ReplyLength, 128);
    EXPECT_TRUE(
        std::equal(model.configBlock().begin(), model.configBlock().end(), packet.ReplyData));
}

TEST(InProcessLink, VanishingDeviceClosesThePortAndCannotBeOpened)
{
    DeviceOptions options;
    options.disconnectAfter = 1;
    DeviceModel model(options);
    InProcessLink link(model);
    EXPECT_EQ(sendIdentity(link), link::ReplyOk);
    EXPECT_EQ(sendIdentity(link), link::PortError);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(sendIdentity(link), 0xEE) << "the port does not open again";
    model.replug();
    EXPECT_EQ(sendIdentity(link), link::ReplyOk);
}

TEST(InProcessLink, OpenFailsWhenUnpluggedOrForAnotherPort)
{
    DeviceModel model;
    InProcessLink link(model, std::uint8_t{130});
    link::XLTPacket packet;
    packet.PortNumber = 129;
    EXPECT_EQ(link.OpenXLTComPort(packet), 0);
    packet.CommandLength = 1;
    packet.CommandData[0] = 16;
    link.XLTSendCommand(packet);
    EXPECT_EQ(packet.ReplyStatus, link::ComPortClosed);
    packet.PortNumber = 130;
    model.options().unplugged = true;
    EXPECT_EQ(link.OpenXLTComPort(packet), 0);
    model.options().unplugged = false;
    EXPECT_NE(link.OpenXLTComPort(packet), 0);
}

TEST(InProcessLink, DrivesTheFirstStageCopyWithItsClock)
{
    DeviceModel model;
    InProcessLink link(model);
    Clock::time_point now{};
    link.setClock([&now] { return now; });
    link::XLTPacket packet;
    link.OpenXLTComPort(packet);
    packet.CommandLength = 131;
    packet.CommandData[0] = 21;
    for (int n = 0; n < 256; ++n) {
        packet.CommandData[1] = std::uint8_t(n);
        link.XLTSendCommand(packet);
        ASSERT_EQ(packet.ReplyStatus, link::ReplyOk) << n;
    }
    packet.CommandData[1] = 0;
    packet.CommandData[2] = 1;
    link.XLTSendCommand(packet);
    EXPECT_EQ(packet.ReplyStatus, link::PacketError);
    now += 3s;
    link.XLTSendCommand(packet);
    EXPECT_EQ(packet.ReplyStatus, link::ReplyOk);
}

TEST(InProcessLink, ServesTheLinkProcedures)
{
    DeviceOptions options;
    options.fault = Fault::NoReply;
    options.faultCode = 17;
    DeviceModel model(options);
    InProcessLink link(model);
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    core::NullEventPump pump;
    link::DeviceContext context(link, ports, notifier, pump);
    context.CmdPacket.PortNumber = 129;

    ASSERT_TRUE(link::ReadXLTVersion(context, context.CmdPacket));
    EXPECT_EQ(link::replyText(context.CmdPacket), "PR01 01230001");
    EXPECT_FALSE(link::ReadXLTConfig(context, context.CmdPacket));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});
    EXPECT_FALSE(link.isOpen());
}
