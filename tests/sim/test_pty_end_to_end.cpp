// The emulator behind a pseudo-terminal, reached the way the program reaches a device: the
// system's port list (with the emulator's registry in a private folder), the serial link and
// the link procedures.
#include "CaptureCheck.h"
#include "link/SerialLink.h"
#include "link/SimRegistry.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"
#include "sim/PtyServer.h"
#include "support/RecordingNotifier.h"

#include <QTemporaryDir>
#include <array>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

using namespace xlt;
using namespace xlt::sim;
using namespace std::chrono_literals;

namespace {

class PtyEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const char *old = std::getenv("XLT_SIM_DIR");
        if (old)
            m_oldSimDir = old;
        ::setenv("XLT_SIM_DIR", registryDir().c_str(), 1);
        m_ports = link::makeSystemPortSource();
        m_link = std::make_unique<link::SerialLink>(*m_ports);
        m_context = std::make_unique<link::DeviceContext>(*m_link, *m_ports, m_notifier, m_pump);
    }

    void TearDown() override
    {
        m_context.reset();
        m_link.reset();
        m_server.reset();
        m_oldSimDir ? ::setenv("XLT_SIM_DIR", m_oldSimDir->c_str(), 1) : ::unsetenv("XLT_SIM_DIR");
    }

    std::string registryDir() const { return m_dir.filePath("registry").toStdString(); }

    void serve(DeviceOptions options = {})
    {
        std::string error;
        m_server = PtyServer::start(std::move(options), {registryDir()}, error);
        ASSERT_TRUE(m_server) << error;
    }

    /// Finds the device as every window does, with a short time-out for the fault cases.
    std::uint16_t find(std::uint32_t timeoutMs = 300)
    {
        const std::uint16_t port = link::FindXLTPort(*m_context);
        m_context->CmdPacket.Timeout = timeoutMs;
        return port;
    }

    link::XLTPacket &packet() { return m_context->CmdPacket; }

    /// Opens, runs one command and closes; the result code as the link left it.
    std::uint8_t exchange(std::vector<std::uint8_t> command)
    {
        if (link::OpenXLTComPort(*m_context, packet()) == 0)
            return 0xEE;
        packet().CommandLength = static_cast<std::uint8_t>(command.size());
        std::copy(command.begin(), command.end(), packet().CommandData);
        link::RunXLTCommand(*m_context, packet());
        link::CloseXLTComPort(*m_context);
        return packet().ReplyStatus;
    }

    QTemporaryDir m_dir;
    std::optional<std::string> m_oldSimDir;
    std::unique_ptr<link::PortSource> m_ports;
    std::unique_ptr<link::SerialLink> m_link;
    test::RecordingNotifier m_notifier;
    core::NullEventPump m_pump;
    std::unique_ptr<link::DeviceContext> m_context;
    std::unique_ptr<PtyServer> m_server;
};

} // namespace

TEST_F(PtyEndToEnd, FindsTheDeviceAndReadsItsIdentity)
{
    serve();
    EXPECT_EQ(m_server->comPortNumber(), 129);
    ASSERT_EQ(find(link::kTimeoutMs), 129);
    ASSERT_TRUE(link::ReadXLTVersion(*m_context, packet()));
    EXPECT_EQ(link::replyText(packet()), "PR01 01230001");
    EXPECT_TRUE(m_notifier.messages.empty());
}

TEST_F(PtyEndToEnd, ConfigurationWrittenIsReadBack)
{
    DeviceOptions options;
    options.statePath = m_dir.filePath("device.state").toStdString();
    serve(options);
    ASSERT_NE(find(link::kTimeoutMs), 0);
    std::array<std::uint8_t, link::kConfigBlockSize> block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(0x7F + i); // 7F is stuffed on the line
    block[112] = 0xFF;
    ASSERT_TRUE(link::WriteXLTConfig(*m_context, packet(), block));
    ASSERT_TRUE(link::ReadXLTConfig(*m_context, packet()));
    EXPECT_EQ(packet().ReplyLength, 128);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), packet().ReplyData));

    m_server.reset();
    serve(options);
    ASSERT_NE(find(link::kTimeoutMs), 0);
    ASSERT_TRUE(link::ReadXLTConfig(*m_context, packet()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), packet().ReplyData))
        << "kept across a restart";
}

TEST_F(PtyEndToEnd, LineFaultsGiveTheirResultCodes)
{
    struct Case
    {
        Fault fault;
        std::uint8_t status;
        const char *message;
    };
    const Case cases[] = {
        {Fault::NoReply, link::CommandTimeOut, "XLT Command transmission error COMMAND TIME_OUT"},
        {Fault::BadCrc, link::PacketError, "XLT Command transmission error PACKET ERROR"},
        {Fault::GarbageBefore, link::ReplyOk, nullptr},
        {Fault::FailStatus, 9, "XLT Command transmission error "},
    };
    serve();
    ASSERT_NE(find(), 0);
    for (const Case &c : cases) {
        m_notifier.messages.clear();
        m_server->withModel([&](DeviceModel &model) {
            model.options().fault = c.fault;
            model.options().failStatus = 9;
        });
        EXPECT_EQ(exchange({16}), c.status) << int(c.fault);
        if (c.message)
            EXPECT_EQ(m_notifier.texts(), std::vector<std::string>{c.message}) << int(c.fault);
        else
            EXPECT_EQ(link::replyText(packet()), "PR01 01230001");
    }
    m_server->withModel([](DeviceModel &model) { model.options().fault = Fault::None; });
    EXPECT_EQ(exchange({16}), link::ReplyOk) << "the line recovers after each fault";
}

TEST_F(PtyEndToEnd, DeviceVanishingMidExchangeIsAPortError)
{
    DeviceOptions options;
    options.disconnectAfter = 1;
    serve(options);
    ASSERT_NE(find(), 0);
    ASSERT_EQ(link::OpenXLTComPort(*m_context, packet()), 1);
    packet().CommandLength = 1;
    packet().CommandData[0] = 16;
    ASSERT_TRUE(link::RunXLTCommand(*m_context, packet()));
    EXPECT_FALSE(link::RunXLTCommand(*m_context, packet()));
    EXPECT_EQ(packet().ReplyStatus, link::PortError);
    EXPECT_EQ(m_notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PORT ERROR"});
    EXPECT_TRUE(m_server->disconnected());
    EXPECT_TRUE(link::readSimPorts(registryDir()).empty()) << "registration removed";
    EXPECT_EQ(link::FindXLTPort(*m_ports), 0);
}

TEST_F(PtyEndToEnd, FullCaptureRepliesCrossTheLineIntact)
{
    DeviceOptions options;
    options.traffic = TrafficLevel::Flood;
    serve(options);
    ASSERT_NE(find(link::kTimeoutMs), 0);
    ASSERT_EQ(link::OpenXLTComPort(*m_context, packet()), 1);
    packet().CommandLength = 2;
    packet().CommandData[0] = 2;
    packet().CommandData[1] = 1;
    ASSERT_TRUE(link::RunXLTCommand(*m_context, packet()));
    for (int poll = 0; poll < 5; ++poll) {
        packet().CommandLength = 1;
        packet().CommandData[0] = 1;
        ASSERT_TRUE(link::RunXLTCommand(*m_context, packet()));
        ASSERT_EQ(packet().ReplyLength, 255);
        const auto parsed = test::parseReply({packet().ReplyData, packet().ReplyData + 255});
        EXPECT_EQ(parsed.error, "");
        for (const auto &record : parsed.records)
            EXPECT_EQ(test::checkFrame(record), "");
    }
    link::CloseXLTComPort(*m_context);
}

TEST_F(PtyEndToEnd, PacedRepliesTakeTheirLineTime)
{
    DeviceOptions options;
    options.pace9600 = true;
    serve(options);
    ASSERT_NE(find(link::kTimeoutMs), 0);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(link::ReadXLTConfig(*m_context, packet()));
    // 128 data bytes and at least 6 of framing, about 1.04 ms each; only the lower bound is
    // certain.
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 130ms);
}

TEST_F(PtyEndToEnd, RegistersAndUnregisters)
{
    serve();
    const auto entries = link::readSimPorts(registryDir());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, m_server->devicePath());
    m_server.reset();
    EXPECT_TRUE(link::readSimPorts(registryDir()).empty());
}
