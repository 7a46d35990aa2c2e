// The emulator behind a pseudo-terminal, reached as the program reaches a device: the system's
// port list (the emulator's registry in a private folder), the serial link and its procedures.
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"
#include "sim/PtyServer.h"
#include "support/RecordingNotifier.h"

#include <QTemporaryDir>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using namespace xlt::sim;
using Texts = std::vector<std::string>;

namespace {

class PtyEndToEnd : public ::testing::Test
{
protected:
    /// Serves a device and finds it as every window does (short time-out for the fault cases).
    void serve(DeviceOptions options = {}, std::uint32_t timeoutMs = link::kTimeoutMs)
    {
        ::setenv("XLT_SIM_DIR", m_registry.c_str(), 1); // read at each port listing
        std::string error;
        m_server = PtyServer::start(std::move(options), {m_registry}, error);
        ASSERT_TRUE(m_server) << error;
        m_timeoutMs = timeoutMs;
    }

    /// Runs `body` as an operation that has found the device as every window does.
    void inFlow(const std::function<void(link::Flow &, link::XLTPacket &)> &body)
    {
        link::Operation operation(m_context);
        operation.start("test", [&](link::Flow &flow) {
            ASSERT_EQ(link::FindXLTPort(flow), 129);
            flow.CmdPacket.Timeout = m_timeoutMs;
            body(flow, flow.CmdPacket);
        });
    }

    QTemporaryDir m_dir;
    const std::string m_registry = m_dir.filePath("registry").toStdString();
    std::unique_ptr<PtyServer> m_server; // outlives the link that talks to it
    std::unique_ptr<link::PortSource> m_ports = link::makeSystemPortSource();
    link::SerialLink m_link{*m_ports};
    test::RecordingNotifier m_notifier;
    link::DeviceContext m_context{m_link, *m_ports, m_notifier};
    std::uint32_t m_timeoutMs = link::kTimeoutMs;
};

} // namespace

TEST_F(PtyEndToEnd, ReadsTheIdentityAndWritesTheConfiguration)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    inFlow([](link::Flow &flow, link::XLTPacket &packet) {
        ASSERT_TRUE(link::ReadXLTVersion(flow, packet));
        EXPECT_EQ(link::replyText(packet), "PR01 01230001");
        std::array<std::uint8_t, link::kConfigBlockSize> block{};
        std::iota(block.begin(), block.end(), std::uint8_t(0x7F)); // 7F is stuffed on the line
        ASSERT_TRUE(link::WriteXLTConfig(flow, packet, block));
        ASSERT_TRUE(link::ReadXLTConfig(flow, packet));
        EXPECT_EQ(packet.ReplyLength, 128);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), packet.ReplyData));
    });
    EXPECT_TRUE(m_notifier.messages.empty());
}

TEST_F(PtyEndToEnd, LineFaultsGiveTheirResultCodes)
{
    const std::tuple<Fault, std::uint8_t, Texts> cases[] = {
        {Fault::NoReply, link::CommandTimeOut, {"XLT Command transmission error COMMAND TIME_OUT"}},
        {Fault::BadCrc, link::PacketError, {"XLT Command transmission error PACKET ERROR"}},
        {Fault::GarbageBefore, link::ReplyOk, {}},
        {Fault::FailStatus, 9, {"XLT Command transmission error "}},
        {Fault::None, link::ReplyOk, {}}}; // the line recovers after each fault
    ASSERT_NO_FATAL_FAILURE(serve({.failStatus = 9}, 300));
    for (const auto &[fault, status, messages] : cases) {
        m_notifier.messages.clear();
        m_server->withModel([f = fault](DeviceModel &model) { model.options().fault = f; });
        inFlow([&, fault = fault, status = status](link::Flow &flow, link::XLTPacket &packet) {
            EXPECT_EQ(link::ReadXLTVersion(flow, packet), status == link::ReplyOk);
            EXPECT_EQ(packet.ReplyStatus, status) << int(fault);
            if (status == link::ReplyOk) {
                EXPECT_EQ(link::replyText(packet), "PR01 01230001") << int(fault);
            }
        });
        EXPECT_EQ(m_notifier.texts(), messages) << int(fault);
    }
}

TEST_F(PtyEndToEnd, DeviceVanishingMidExchangeIsAPortError)
{
    ASSERT_NO_FATAL_FAILURE(serve({.disconnectAfter = 1}, 300));
    inFlow([](link::Flow &flow, link::XLTPacket &packet) {
        ASSERT_EQ(link::OpenXLTComPort(flow, packet), 1);
        packet.CommandLength = 1;
        packet.CommandData[0] = 16;
        ASSERT_TRUE(link::RunXLTCommand(flow, packet));
        EXPECT_FALSE(link::RunXLTCommand(flow, packet)) << "no crash, a port error";
        EXPECT_EQ(packet.ReplyStatus, link::PortError);
    });
    EXPECT_EQ(m_notifier.texts(), Texts{"XLT Command transmission error PORT ERROR"});
    EXPECT_TRUE(m_server->disconnected());
    EXPECT_EQ(link::FindXLTPort(*m_ports), 0) << "registration removed";
}
