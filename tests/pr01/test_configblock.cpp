#include "EmulatedDevice.h"
#include "pr01/ConfigBlock.h"
#include "pr01/Pr01Device.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

using namespace xlt;
using namespace xlt::pr01;
using Texts = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

TEST(ConfigBlock, HexTextToValue)
{
    // The window's reading, and the byte xltctl takes only when that reading uses every
    // character: "zz", "1x" or "100" are not the byte the window sends.
    const std::optional<std::uint8_t> none;
    const std::tuple<const char *, std::uint32_t, std::optional<std::uint8_t>> rows[] = {
        {"0A", 10, 10},
        {"0a", 10, 10},
        {"A", 10, 10},
        {"a", 10, 10},
        {"", 0, none},
        {"x1", 0, none},
        {"1x", 1, none},
        {"-1", 0, none},
        {"zz", 0, none},
        {"0x1F", 0, none},
        {"100", 256, none},
        {"FF", 255, 255},
        {"000FF", 255, 255},
        {" \t", 0, none},
        {"1\r2", 1, none},
        {" 6\t\n1 ", 0x61, 0x61},
        {"FFFFFFFFFFFF", 0xFFFFFFFFu, none}};
    for (const auto &[text, value, byte] : rows) {
        EXPECT_EQ(hexTextValue(text), value) << '"' << text << '"';
        EXPECT_EQ(hexByteValue(text), byte) << '"' << text << '"';
    }
}

TEST(ConfigBlock, EncodeAndDecode)
{
    ConfigBlock block{}; // empty texts, and bytes 112..127 always, give zero bytes
    for (std::size_t row = 0; row < kRowCount; ++row)
        block[80 + 4 * row] = static_cast<std::uint8_t>(0x61 + row);
    EXPECT_EQ(*encodeConfigBlock(Pr01Texts::initial()).block, block);
    EXPECT_EQ(decodeConfigBlock(block), Pr01Texts::initial());

    // Full fields without a zero byte end at their field: the version does not run into the
    // boot version, nor the boot version into the first currency row.
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = std::string(63, 'v') + "\xE9";
    texts.bootVersion = std::string(15, 'B') + "\xE9";
    texts.country[0] = "05";
    texts.denom[0] = "0A";
    texts.exp[7] = "FF";
    std::fill_n(block.begin(), 63, 'v');
    std::fill_n(block.begin() + 64, 15, 'B');
    block[63] = block[79] = 0xE9;
    std::copy_n("\x05\x0A", 2, block.begin() + 81);
    block[111] = 255;
    EXPECT_EQ(*encodeConfigBlock(texts).block, block);
    block[112] = 1; // the host drive option is no part of the texts
    EXPECT_EQ(decodeConfigBlock(block), texts);
}

TEST(ConfigBlock, WhatDoesNotFitIsRefusedBeforeAnythingIsSent)
{
    const std::pair<void (*)(Pr01Texts &), const char *> rows[] = {
        {[](Pr01Texts &t) { t.version = std::string(65, 'v'); },
         "The Version text has 65 characters, but the XLT holds at most 64."},
        {[](Pr01Texts &t) { t.bootVersion = std::string(17, 'b'); },
         "The Boot Version text has 17 characters, but the XLT holds at most 16."},
        {[](Pr01Texts &t) { t.code[0] = "100"; },
         "The Currency Assigment value \"100\" in the first row, column Code, is above FF."},
        {[](Pr01Texts &t) { t.denom[7] = "1 FF"; },
         "The Currency Assigment value \"1 FF\" in the "
         "eighth row, column Demonination, is above FF."}};
    for (const auto &[change, message] : rows) {
        Pr01Texts texts = Pr01Texts::initial();
        change(texts);
        EXPECT_FALSE(encodeConfigBlock(texts).block.has_value()) << message;
        test::EmulatedDevice device;
        EXPECT_FALSE(test::writePr01(device.context, texts));
        EXPECT_EQ(device.notifier.texts(), Texts{std::string(message) + " Nothing was sent."});
        EXPECT_EQ(device.model.commandCount(), 0);
    }
}

TEST(CheckPR01Device, AcceptsIdentitiesBeginningWithPR01OrID003)
{
    const std::pair<std::string, bool> rows[] = {
        {"PR01 01230001", true}, {"ID003 V1", true}, {"PR01", true},  {"pr01 0123", false},
        {"PR0", false},          {"", false},        {"ID00", false}, {{"PR\0001", 4}, false}};
    for (const auto &[identity, accepted] : rows) {
        test::EmulatedDevice device({.identity = identity});
        std::uint8_t port = 0;
        const auto ok = link::runToEnd<bool>(device.context, "check", [&port](link::Flow &flow) {
            // Bytes of an earlier, longer reply beyond ReplyLength must not join the identity.
            std::fill_n(flow.CmdPacket.ReplyData, 255, 'Z');
            const bool result = CheckPR01Device(flow);
            port = flow.CmdPacket.PortNumber;
            return result;
        });
        EXPECT_EQ(ok, accepted) << identity;
        const std::string refusal = "XLT Firmware " + identity + " is not PR01 compatable.";
        EXPECT_EQ(device.notifier.texts(), accepted ? Texts{} : Texts{refusal});
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_EQ(port, 5);
    }
}

/// A scripted device on COM5 that answers command 16 with a PR01 identity and 17 with
/// `configReply`.
struct ScriptedPr01 : test::FakeDevice
{
    ScriptedPr01()
    {
        link.responder = [this](const Bytes &command) {
            if (command[0] == 16)
                return test::FakeLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
            return test::FakeLink::Reply{link::ReplyOk, command[0] == 17 ? configReply : Bytes{}};
        };
    }
    Bytes configReply = Bytes(128, 0);
};

// A configuration reply shorter than the block is refused: nothing of it reaches the boxes,
// stale bytes of the identity reply included, and a write that needed it sends nothing.
TEST(Pr01Configuration, ShortReplyIsRefused)
{
    for (const std::size_t length : {0u, 1u, 64u, 127u}) {
        ScriptedPr01 device;
        device.configReply = Bytes(length, 'x');
        EXPECT_FALSE(test::readPr01(device.context).has_value()) << length;
        const std::string message = "The XLT device sent " + std::to_string(length) +
                                    " bytes of configuration instead of 128. Nothing was taken "
                                    "from it.";
        EXPECT_EQ(device.notifier.texts(), Texts{message});
        EXPECT_EQ(test::writePr01(device.context, Pr01Texts::initial()), false);
        EXPECT_EQ(device.notifier.texts(), (Texts{message, message}));
        EXPECT_EQ(device.codes(), (Bytes{16, 17, 16, 17})); // no 18
        EXPECT_EQ(device.context.holder, "");
    }
}

// A configuration write never changes the host drive option: it sends byte 112 as the device
// has it when the write reads the block (16, 17, 18 in one go), never the byte of an earlier
// read, whatever the device was given in between.
TEST(Pr01Configuration, WriteKeepsTheDevicesHostDriveByteOfThatMoment)
{
    for (const std::uint8_t now : {std::uint8_t{0}, std::uint8_t{7}, std::uint8_t{255}}) {
        ScriptedPr01 device;
        device.configReply[112] = 255;
        device.configReply[0] = 'v';
        const std::optional<Pr01Reading> reading = test::readPr01(device.context);
        ASSERT_TRUE(reading);
        EXPECT_EQ(reading->hostDrive, 255);
        EXPECT_EQ(reading->texts.version, "v");
        device.configReply[112] = now; // another program, or another device, since
        device.link.sent.clear();
        EXPECT_EQ(test::writePr01(device.context, Pr01Texts::initial()), true);
        EXPECT_EQ(device.codes(), (Bytes{16, 17, 18}));
        ConfigBlock expected = *encodeConfigBlock(Pr01Texts::initial()).block;
        expected[112] = now;
        Bytes command{18}; // the boxes' block with the device's byte 112 of this moment
        command.insert(command.end(), expected.begin(), expected.end());
        EXPECT_EQ(device.link.sent.back(), command);
        EXPECT_EQ(device.notifier.texts(),
                  Texts{"XLT PR01 configuration successfully save to XLT memory"});
    }
}
