#include "EmulatedDevice.h"
#include "pr01/Pr01Device.h"

#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::pr01;

namespace {

sim::DeviceOptions withIdentity(const std::string &identity)
{
    sim::DeviceOptions options;
    options.identity = identity;
    return options;
}

} // namespace

TEST(CheckPR01Device, AcceptsIdentitiesBeginningWithPR01OrID003)
{
    const std::pair<std::string, bool> rows[] = {
        {"PR01 01230001", true}, {"ID003 V1", true}, {"PR01", true}, {"pr01 0123", false},
        {"PR0", false},          {"", false},        {"ID00", false}, {std::string("PR\0" "1", 4), false},
    };
    for (const auto &[identity, accepted] : rows) {
        test::EmulatedDevice device(withIdentity(identity));
        // Bytes of an earlier, longer reply beyond ReplyLength must not join the identity.
        std::fill_n(device.context.CmdPacket.ReplyData, 255, 'Z');
        EXPECT_EQ(CheckPR01Device(device.context), accepted) << identity;
        const std::vector<std::string> refusal{"XLT Firmware " + identity + " is not PR01 compatable."};
        EXPECT_EQ(device.notifier.texts(), accepted ? std::vector<std::string>{} : refusal);
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_EQ(device.context.CmdPacket.PortNumber, 5);
        EXPECT_EQ(device.context.CmdPacket.BaudRate, 9600u);
        EXPECT_EQ(device.context.CmdPacket.Timeout, 3000u);
    }
}

TEST(CheckPR01Device, NoDeviceFailedExchangeOrClosedPort)
{
    test::EmulatedDevice device;
    device.ports.records.clear();
    EXPECT_FALSE(CheckPR01Device(device.context));
    EXPECT_EQ(device.notifier.texts(), std::vector<std::string>{"No XLT device detected"});

    test::EmulatedDevice silent;
    silent.model.options().fault = sim::Fault::NoReply;
    EXPECT_FALSE(CheckPR01Device(silent.context));
    EXPECT_EQ(silent.notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});

    test::EmulatedDevice unplugged;
    unplugged.model.options().unplugged = true;
    EXPECT_FALSE(CheckPR01Device(unplugged.context));
    EXPECT_TRUE(unplugged.notifier.messages.empty());
}

TEST(Pr01Configuration, ReadThenWriteBack)
{
    test::EmulatedDevice device;
    Pr01Texts boxes = Pr01Texts::initial();
    ASSERT_TRUE(readPr01Configuration(device.context, boxes));
    EXPECT_EQ(boxes, decodeConfigBlock(sim::defaultConfigBlock()));

    boxes.bootVersion = "AB";
    ASSERT_TRUE(writePr01Configuration(device.context, boxes));
    EXPECT_EQ(device.model.configBlock(), *encodeConfigBlock(boxes).block);
    ASSERT_EQ(device.notifier.messages.size(), 1u);
    EXPECT_EQ(device.notifier.messages[0].icon, core::Icon::Information);
    EXPECT_EQ(device.notifier.messages[0].text,
              "XLT PR01 configuration successfully save to XLT memory");
    EXPECT_EQ(device.link.sent.size(), 4u); // 16, 17, then 16, 18
}

TEST(Pr01Configuration, FailuresShowOnlyTheTransmissionMessage)
{
    for (const std::uint8_t code : {17, 18}) {
        test::EmulatedDevice device;
        device.model.options().fault = sim::Fault::BadCrc;
        device.model.options().faultCode = code;
        Pr01Texts boxes = Pr01Texts::initial();
        EXPECT_FALSE(code == 17 ? readPr01Configuration(device.context, boxes)
                                : writePr01Configuration(device.context, boxes));
        EXPECT_EQ(boxes, Pr01Texts::initial());
        EXPECT_EQ(device.notifier.texts(),
                  std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
    }
}

TEST(Pr01Configuration, RefusedWritesSendNothing)
{
    Pr01Texts tooLong = Pr01Texts::initial();
    tooLong.version = std::string(65, 'v');
    Pr01Texts tooBig = Pr01Texts::initial();
    tooBig.exp[2] = "1FF";
    for (const Pr01Texts &boxes : {tooLong, tooBig}) {
        test::EmulatedDevice device;
        EXPECT_FALSE(writePr01Configuration(device.context, boxes));
        EXPECT_EQ(device.notifier.texts(), std::vector<std::string>{encodeConfigBlock(boxes).error});
        EXPECT_TRUE(device.link.sent.empty());
    }
}
