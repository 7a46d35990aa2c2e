#include "EmulatedDevice.h"
#include "pr01/ConfigBlock.h"
#include "pr01/Pr01Device.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

using namespace xlt;
using namespace xlt::pr01;
using Texts = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

TEST(ConfigBlock, HexTextToValue)
{
    const std::pair<const char *, std::uint32_t> rows[] = {
        {"0A", 10},   {"0a", 10},  {"A", 10},          {"a", 10},
        {"", 0},      {"x1", 0},   {"1x", 1},          {"-1", 0},
        {"100", 256}, {"1\r2", 1}, {" 6\t\n1 ", 0x61}, {"FFFFFFFFFFFF", 0xFFFFFFFFu}};
    for (const auto &[text, value] : rows)
        EXPECT_EQ(hexTextValue(text), value) << '"' << text << '"';
}

TEST(ConfigBlock, EncodeAndDecode)
{
    ConfigBlock block{}; // empty texts, and bytes 112..127 always, give zero bytes
    for (std::size_t row = 0; row < kRowCount; ++row)
        block[80 + 4 * row] = static_cast<std::uint8_t>(0x61 + row);
    EXPECT_EQ(*encodeConfigBlock(Pr01Texts::initial()).block, block);
    EXPECT_EQ(decodeConfigBlock(block), Pr01Texts::initial());

    Pr01Texts texts = Pr01Texts::initial();
    texts.version = std::string(63, 'v') + "\xE9"; // no zero byte: the whole field
    texts.bootVersion = "AB";
    texts.country[0] = "05";
    texts.denom[0] = "0A";
    texts.exp[7] = "FF";
    std::fill_n(block.begin(), 63, 'v');
    std::copy_n("\xE9\x41\x42", 3, block.begin() + 63);
    std::copy_n("\x05\x0A", 2, block.begin() + 81);
    block[111] = 255;
    EXPECT_EQ(*encodeConfigBlock(texts).block, block);
    block[112] = 1; // the host drive option is no part of the texts
    EXPECT_EQ(decodeConfigBlock(block), texts);
}

// Full fields without a zero byte end at their field: the 64-character version does not run
// into the boot version, the 16-character boot version not into the first currency row.
TEST(ConfigBlock, FullTextFieldsWithoutZeroByteEndAtTheirField)
{
    ConfigBlock block{};
    std::fill_n(block.begin(), 64, 'v');
    std::fill_n(block.begin() + 64, 15, 'B');
    block[79] = 0xE9;
    block[80] = 0x61;
    const Pr01Texts texts = decodeConfigBlock(block);
    EXPECT_EQ(texts.version, std::string(64, 'v'));
    EXPECT_EQ(texts.bootVersion, std::string(15, 'B') + "\xE9");
    EXPECT_EQ(texts.code[0], "61");
    EXPECT_EQ(*encodeConfigBlock(texts).block, block);
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
        EXPECT_FALSE(device.write(texts));
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
        // Bytes of an earlier, longer reply beyond ReplyLength must not join the identity.
        std::fill_n(device.context.CmdPacket.ReplyData, 255, 'Z');
        EXPECT_EQ(device.check(), accepted) << identity;
        const std::string refusal = "XLT Firmware " + identity + " is not PR01 compatable.";
        EXPECT_EQ(device.notifier.texts(), accepted ? Texts{} : Texts{refusal});
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_EQ(device.context.CmdPacket.PortNumber, 5);
    }
}

TEST(Pr01Configuration, FailedExchangesShowOnlyTheTransmissionMessage)
{
    for (const std::uint8_t code : {std::uint8_t{17}, std::uint8_t{18}}) {
        test::EmulatedDevice device({.fault = sim::Fault::BadCrc, .faultCode = code});
        EXPECT_FALSE(code == 17 ? device.read().has_value() : device.write(Pr01Texts::initial()));
        EXPECT_EQ(device.notifier.texts(), Texts{"XLT Command transmission error PACKET ERROR"});
        EXPECT_EQ(device.context.holder, "");
    }
}

/// A scripted device on COM5 that answers command 16 with a PR01 identity.
struct ScriptedPr01
{
    ScriptedPr01()
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
        link.responder = [this](const Bytes &command) {
            if (command[0] == 16)
                return test::FakeLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
            if (command[0] == 17)
                return test::FakeLink::Reply{link::ReplyOk, configReply};
            return test::FakeLink::Reply{};
        };
    }
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::ImmediateScheduler scheduler;
    link::DeviceContext context{link, ports, notifier, scheduler};
    Bytes configReply = Bytes(128, 0);

    std::vector<Bytes> writes() const
    {
        std::vector<Bytes> out;
        for (const auto &command : link.sent) {
            if (command[0] == 18)
                out.push_back(command);
        }
        return out;
    }
};

// A configuration reply shorter than the block is refused: nothing of it reaches the boxes,
// stale bytes of the identity reply included, and a write that needed it sends nothing.
TEST(Pr01Configuration, ShortReplyIsRefused)
{
    for (const std::size_t length : {0u, 1u, 64u, 127u}) {
        ScriptedPr01 device;
        device.configReply = Bytes(length, 'x');
        std::optional<std::optional<Pr01Reading>> reading;
        readPr01Configuration(device.context, [&reading](auto r) { reading = r; });
        ASSERT_TRUE(reading.has_value());
        EXPECT_FALSE(reading->has_value()) << length;
        const std::string message = "The XLT device sent " + std::to_string(length) +
                                    " bytes of configuration instead of 128. Nothing was taken "
                                    "from it.";
        EXPECT_EQ(device.notifier.texts(), Texts{message});
        std::optional<bool> written;
        writePr01Configuration(device.context, Pr01Texts::initial(), std::nullopt,
                               [&written](bool ok) { written = ok; });
        EXPECT_EQ(written, false);
        EXPECT_TRUE(device.writes().empty());
        EXPECT_EQ(device.context.holder, "");
    }
}

// A configuration write never changes the host drive option: it sends the byte of the last
// read, or, without one, reads the device's byte first.
TEST(Pr01Configuration, WriteKeepsTheHostDriveByte)
{
    for (const std::optional<std::uint8_t> known : {std::optional<std::uint8_t>{}, {0}, {255}}) {
        ScriptedPr01 device;
        device.configReply[112] = 255;
        std::optional<bool> written;
        writePr01Configuration(device.context, Pr01Texts::initial(), known,
                               [&written](bool ok) { written = ok; });
        EXPECT_EQ(written, true);
        ASSERT_EQ(device.writes().size(), 1u);
        const Bytes command = device.writes()[0];
        EXPECT_EQ(command[1 + 112], known.value_or(255));
        EXPECT_TRUE(std::all_of(command.begin() + 1 + 113, command.end(),
                                [](std::uint8_t b) { return b == 0; }));
        // Identity, then (only without a known byte) a read, then the write.
        EXPECT_EQ(device.link.sent.size(), known ? 2u : 3u);
    }
    ScriptedPr01 device;
    device.configReply[112] = 255;
    device.configReply[5] = 'v';
    std::optional<std::optional<Pr01Reading>> reading;
    readPr01Configuration(device.context, [&reading](auto r) { reading = r; });
    ASSERT_TRUE(reading && *reading);
    EXPECT_EQ((*reading)->hostDrive, 255);
}
