#include "pr01/Pr01Device.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace xlt;
using namespace xlt::pr01;
using test::FakeLink;

namespace {

std::vector<std::uint8_t> bytes(const std::string &text)
{
    return {text.begin(), text.end()};
}

struct Pr01DeviceTest : ::testing::Test
{
    Pr01DeviceTest()
    {
        ports.records = {{"\\Device\\Serial0", "COM1", "/dev/ttyS0"},
                         {"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
        fake.responder = [this](const std::vector<std::uint8_t> &command) {
            FakeLink::Reply reply;
            if (command[0] == 16)
                reply.data = bytes(identity);
            else if (command[0] == 17)
                reply.data.assign(deviceBlock.begin(), deviceBlock.end());
            return reply;
        };
    }

    std::vector<std::uint8_t> sentCodes() const
    {
        std::vector<std::uint8_t> codes;
        for (const auto &command : fake.sent)
            codes.push_back(command[0]);
        return codes;
    }

    FakeLink fake;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext context{fake, ports, notifier, pump};
    std::string identity = "PR01 01230001";
    ConfigBlock deviceBlock{};
};

} // namespace

TEST_F(Pr01DeviceTest, AcceptsOnlyIdentitiesBeginningWithPR01OrID003)
{
    const struct
    {
        std::string identity;
        bool accepted;
    } rows[] = {
        {"PR01 01230001", true}, {"ID003 V1", true},  {"PR01", true},
        {"pr01 0123", false},    {"PR0", false},      {"", false},
        {"PR02 0123", false},    {"ID00", false},     {std::string("PR\0" "1", 4), false},
    };
    for (const auto &row : rows) {
        identity = row.identity;
        notifier.messages.clear();
        EXPECT_EQ(CheckPR01Device(context), row.accepted) << row.identity;
        if (row.accepted) {
            EXPECT_TRUE(notifier.messages.empty()) << row.identity;
        } else {
            EXPECT_EQ(notifier.texts(), std::vector<std::string>{"XLT Firmware " + row.identity
                                                                  + " is not PR01 compatable."});
        }
        EXPECT_FALSE(fake.isOpen);
    }
    EXPECT_EQ(context.XLTPortNumber, 5);
    EXPECT_EQ(context.CmdPacket.PortNumber, 5);
    EXPECT_EQ(context.CmdPacket.BaudRate, 9600u);
    EXPECT_EQ(context.CmdPacket.Timeout, 3000u);
}

TEST_F(Pr01DeviceTest, IdentityIsExactlyReplyLengthBytes)
{
    // Bytes of an earlier, longer reply beyond ReplyLength must not join the identity.
    std::fill(std::begin(context.CmdPacket.ReplyData), std::end(context.CmdPacket.ReplyData), 'Z');
    identity = "XY";
    CheckPR01Device(context);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"XLT Firmware XY is not PR01 compatable."});
}

TEST_F(Pr01DeviceTest, NoDeviceOrFailedExchange)
{
    ports.records.pop_back();
    EXPECT_FALSE(CheckPR01Device(context));
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"No XLT device detected"});
    EXPECT_EQ(fake.openCalls, 0);

    ports.records.push_back({"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"});
    notifier.messages.clear();
    fake.replies.push_back({link::CommandTimeOut, {}});
    EXPECT_FALSE(CheckPR01Device(context));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});

    notifier.messages.clear();
    fake.openSucceeds = false;
    EXPECT_FALSE(CheckPR01Device(context));
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(Pr01DeviceTest, ReadDecodesTheBlockAndKeepsBoxesOnFailure)
{
    std::copy_n("ID003 V2", 8, deviceBlock.begin());
    std::copy_n("BT", 2, deviceBlock.begin() + 64);
    deviceBlock[80] = 0x0A;
    deviceBlock[111] = 0xFF;
    deviceBlock[112] = 1;
    Pr01Texts boxes = Pr01Texts::initial();
    ASSERT_TRUE(readPr01Configuration(context, boxes));
    EXPECT_EQ(boxes.version, "ID003 V2");
    EXPECT_EQ(boxes.bootVersion, "BT");
    EXPECT_EQ(boxes.code[0], "0A");
    EXPECT_EQ(boxes.exp[7], "FF");
    EXPECT_EQ(sentCodes(), (std::vector<std::uint8_t>{16, 17}));
    EXPECT_TRUE(notifier.messages.empty());

    boxes = Pr01Texts::initial();
    fake.responder = [this, base = fake.responder](const std::vector<std::uint8_t> &command) {
        return command[0] == 17 ? FakeLink::Reply{link::PacketError, {}} : base(command);
    };
    EXPECT_FALSE(readPr01Configuration(context, boxes));
    EXPECT_EQ(boxes, Pr01Texts::initial());
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
}

TEST_F(Pr01DeviceTest, WriteSendsTheBlockAndConfirmsOnce)
{
    Pr01Texts boxes = Pr01Texts::initial();
    boxes.bootVersion = "AB";
    ASSERT_TRUE(writePr01Configuration(context, boxes));
    EXPECT_EQ(sentCodes(), (std::vector<std::uint8_t>{16, 18}));
    const std::vector<std::uint8_t> &write = fake.sent.back();
    ASSERT_EQ(write.size(), 129u);
    const ConfigBlock expected = *encodeConfigBlock(boxes).block;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), write.begin() + 1));
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0].icon, core::Icon::Information);
    EXPECT_EQ(notifier.messages[0].text, "XLT PR01 configuration successfully save to XLT memory");

    notifier.messages.clear();
    fake.responder = [this, base = fake.responder](const std::vector<std::uint8_t> &command) {
        return command[0] == 18 ? FakeLink::Reply{link::PortError, {}} : base(command);
    };
    EXPECT_FALSE(writePr01Configuration(context, boxes));
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"XLT Command transmission error PORT ERROR"});
}

TEST_F(Pr01DeviceTest, RefusedWritesSendNothing)
{
    Pr01Texts tooLong = Pr01Texts::initial();
    tooLong.version = std::string(65, 'v');
    Pr01Texts tooBig = Pr01Texts::initial();
    tooBig.exp[2] = "1FF";
    for (const Pr01Texts &boxes : {tooLong, tooBig}) {
        notifier.messages.clear();
        EXPECT_FALSE(writePr01Configuration(context, boxes));
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].text, encodeConfigBlock(boxes).error);
    }
    EXPECT_EQ(fake.openCalls, 0);
    EXPECT_TRUE(fake.sent.empty());
}

TEST_F(Pr01DeviceTest, RefusesWhileAnotherWindowHoldsTheDevice)
{
    link::DeviceHold hold(context, "traffic monitor");
    Pr01Texts boxes = Pr01Texts::initial();
    EXPECT_FALSE(readPr01Configuration(context, boxes));
    EXPECT_FALSE(writePr01Configuration(context, boxes));
    EXPECT_EQ(notifier.messages.size(), 2u);
    EXPECT_EQ(fake.openCalls, 0);
}
