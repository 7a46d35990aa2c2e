// The in-process link: the device's faults become the link's result codes at once.
#include "sim/InProcessLink.h"

#include <gtest/gtest.h>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using namespace xlt::sim;
using namespace std::chrono_literals;

namespace {

/// Sends `command` (opening the port first when needed); 0xEE when the port does not open.
std::uint8_t send(InProcessLink &link, std::vector<std::uint8_t> command = {16},
                  std::uint8_t port = 129)
{
    link::XLTPacket packet;
    packet.PortNumber = port;
    if (!link.isOpen() && link.OpenXLTComPort(packet) == 0)
        return 0xEE;
    packet.CommandLength = std::uint8_t(command.size());
    std::copy(command.begin(), command.end(), packet.CommandData);
    link.XLTSendCommand(packet);
    return packet.ReplyStatus;
}

} // namespace

TEST(InProcessLink, FaultsBecomeResultCodes)
{
    std::vector<std::uint8_t> write(129, 0x42);
    write[0] = 18;
    // fault, result code, whether the block is written all the same (only the reply is spoilt)
    const std::tuple<Fault, std::uint8_t, bool> cases[] = {
        {Fault::None, link::ReplyOk, true},          {Fault::NoReply, link::CommandTimeOut, false},
        {Fault::BadCrc, link::PacketError, true},    {Fault::GarbageOnly, link::PacketError, false},
        {Fault::GarbageBefore, link::ReplyOk, true}, {Fault::FailStatus, 9, false}};
    for (const auto &[fault, status, carriedOut] : cases) {
        DeviceModel model({.fault = fault, .failStatus = 9});
        InProcessLink link(model);
        EXPECT_EQ(send(link, write), status) << int(fault);
        EXPECT_TRUE(link.isOpen()) << int(fault);
        EXPECT_EQ(model.configBlock()[0] == 0x42, carriedOut) << int(fault);
    }
    DeviceModel model({.fault = Fault::NoReply, .faultCode = 17});
    InProcessLink link(model);
    EXPECT_EQ(send(link, {16}), link::ReplyOk) << "a fault for 17 only";
    EXPECT_EQ(send(link, {17}), link::CommandTimeOut);
}

TEST(InProcessLink, VanishingDeviceClosesThePortUntilReplugged)
{
    DeviceModel model({.disconnectAfter = 1});
    InProcessLink link(model);
    EXPECT_EQ(send(link), link::ReplyOk);
    EXPECT_EQ(send(link), link::PortError);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(send(link), 0xEE) << "the port does not open again";
    model.replug();
    EXPECT_EQ(send(link), link::ReplyOk);
}

TEST(InProcessLink, OpensOnlyItsOwnPortWhilePluggedIn)
{
    DeviceModel model;
    InProcessLink link(model, std::uint8_t{130});
    EXPECT_EQ(send(link, {16}, 129), 0xEE);
    link::XLTPacket packet;
    packet.ReplyStatus = link::ReplyOk;
    link.XLTSendCommand(packet);
    EXPECT_EQ(packet.ReplyStatus, link::ComPortClosed) << "a send on the closed port";
    model.options().unplugged = true;
    EXPECT_EQ(send(link, {16}, 130), 0xEE);
    model.options().unplugged = false;
    EXPECT_EQ(send(link, {16}, 130), link::ReplyOk);
}

TEST(InProcessLink, DrivesTheFirstStageCopyWithItsClock)
{
    DeviceModel model;
    InProcessLink link(model);
    Clock::time_point now{};
    link.setClock([&now] { return now; });
    std::vector<std::uint8_t> block(131, 0);
    block[0] = 21;
    for (int n = 0; n < 257; ++n) {
        block[1] = std::uint8_t(n & 0xFF);
        block[2] = std::uint8_t(n >> 8);
        ASSERT_EQ(send(link, block), n < 256 ? link::ReplyOk : link::PacketError) << n;
    }
    now += 3s;
    EXPECT_EQ(send(link, block), link::ReplyOk) << "block 256 once the copy is over";
}
