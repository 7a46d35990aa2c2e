#include "link/DeviceContext.h"
#include "options/OptionBlock.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

using namespace xlt;
using options::HostDrive;

namespace {

TEST(OptionBlock, HostDriveByteReadAndWritten)
{
    const struct
    {
        std::uint8_t read;
        HostDrive drive;
    } cases[] = {{0, HostDrive::TtlRs232}, {1, HostDrive::OptoIsolated},
                 {2, HostDrive::OptoIsolated}, {255, HostDrive::OptoIsolated}};
    for (const auto &c : cases) {
        options::OptionBlock block{};
        block[112] = c.read;
        EXPECT_EQ(options::hostDriveOf(block), c.drive) << int(c.read);
    }
    EXPECT_EQ(options::hostDriveByte(HostDrive::TtlRs232), 0);
    EXPECT_EQ(options::hostDriveByte(HostDrive::OptoIsolated), 255);
}

TEST(OptionBlock, OnlyByte112Changes)
{
    options::OptionBlock block;
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 3 + 1);
    for (HostDrive drive : {HostDrive::TtlRs232, HostDrive::OptoIsolated}) {
        const auto written = options::withHostDrive(block, drive);
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (i == 112)
                EXPECT_EQ(written[i], options::hostDriveByte(drive));
            else
                EXPECT_EQ(written[i], block[i]) << i;
        }
    }
}

struct OptionReads : ::testing::Test
{
    OptionReads() { ports.records = {{"\\Device\\USBSER000", "COM7", "/dev/null"}}; }
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext device{link, ports, notifier, pump};
};

TEST_F(OptionReads, ShortConfigurationReplyIsRefused)
{
    // An earlier, longer reply leaves its bytes in ReplyData: they must not be taken.
    link.replies.push_back({link::ReplyOk, std::vector<std::uint8_t>(200, 0xAA)});
    link.replies.push_back({link::ReplyOk, std::vector<std::uint8_t>(127, 0x01)});
    device.CmdPacket.PortNumber = 7;
    ASSERT_TRUE(options::readOptionBlock(device));
    EXPECT_FALSE(options::readOptionBlock(device));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"The XLT device sent 127 bytes of configuration instead "
                                       "of 128. The options were not read."});
}

TEST_F(OptionReads, TargetInfoFirmwareHasNoPoint)
{
    const std::string identity = "PR01 01230009";
    link.replies.push_back({link::ReplyOk, {identity.begin(), identity.end()}});
    const auto info = options::readTargetInfo(device);
    EXPECT_TRUE(info.portFound);
    ASSERT_EQ(info.lines.size(), 5u);
    EXPECT_EQ(info.lines[2], " Target XLT firmware:    0123");
    EXPECT_EQ(device.XLTPortNumber, 7);
    EXPECT_EQ(device.CmdPacket.PortNumber, 7);
}

TEST_F(OptionReads, NoDevicePortIsTold)
{
    ports.records.clear();
    const auto info = options::readTargetInfo(device);
    EXPECT_FALSE(info.portFound);
    EXPECT_TRUE(info.lines.empty());
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"No XLT device detected on USB"});
    EXPECT_EQ(link.openCalls, 0);
}

} // namespace
