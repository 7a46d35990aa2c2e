#include "EmulatedDevice.h"
#include "pr01/ConfigBlock.h"
#include "pr01/Pr01Device.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::pr01;
using Texts = std::vector<std::string>;

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
        EXPECT_FALSE(writePr01Configuration(device.context, texts));
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
        EXPECT_EQ(CheckPR01Device(device.context), accepted) << identity;
        const std::string refusal = "XLT Firmware " + identity + " is not PR01 compatable.";
        EXPECT_EQ(device.notifier.texts(), accepted ? Texts{} : Texts{refusal});
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_EQ(device.context.CmdPacket.PortNumber, 5);
    }
}

TEST(Pr01Configuration, FailedExchangesShowOnlyTheTransmissionMessage)
{
    for (const std::uint8_t code : {17, 18}) {
        test::EmulatedDevice device({.fault = sim::Fault::BadCrc, .faultCode = code});
        Pr01Texts boxes = Pr01Texts::initial();
        EXPECT_FALSE(code == 17 ? readPr01Configuration(device.context, boxes)
                                : writePr01Configuration(device.context, boxes));
        EXPECT_EQ(boxes, Pr01Texts::initial());
        EXPECT_EQ(device.notifier.texts(), Texts{"XLT Command transmission error PACKET ERROR"});
    }
}
