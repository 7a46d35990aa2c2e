#include "pr01/ConfigBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace xlt::pr01;

namespace {

bool allZero(const ConfigBlock &block, std::size_t from, std::size_t to)
{
    return std::all_of(block.begin() + static_cast<long>(from), block.begin() + static_cast<long>(to),
                       [](std::uint8_t b) { return b == 0; });
}

ConfigBlock encodeOk(const Pr01Texts &texts)
{
    const EncodeResult result = encodeConfigBlock(texts);
    EXPECT_TRUE(result.block.has_value()) << result.error;
    return result.block.value_or(ConfigBlock{});
}

} // namespace

TEST(HexTextValue, ReadsLeadingHexDigitsIgnoringBlanks)
{
    const struct
    {
        const char *text;
        std::uint32_t value;
    } rows[] = {
        {"0A", 10},   {"0a", 10},  {"A", 10},     {"a", 10},      {"", 0},
        {"x1", 0},    {"1x", 1},   {"61", 0x61},  {"7f", 127},    {"FF", 255},
        {" 6 1", 0x61}, {"\t1\n2", 0x12}, {"1\r2", 1}, {"100", 0x100}, {"-1", 0},
        {"FFFFFFFFFFFF", 0xFFFFFFFFu}, {"g", 0}, {"0x10", 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(hexTextValue(row.text), row.value) << '"' << row.text << '"';
}

TEST(DecodeConfigBlock, TextsStopAtZeroOrFieldEnd)
{
    ConfigBlock block{};
    // A version without a zero byte fills its 64 bytes; the boot version still starts at 64.
    std::fill_n(block.begin(), 64, 'V');
    std::fill_n(block.begin() + 64, 16, 'B');
    block[112] = 0xFF; // the host drive option is not part of this window's data
    const Pr01Texts full = decodeConfigBlock(block);
    EXPECT_EQ(full.version, std::string(64, 'V'));
    EXPECT_EQ(full.bootVersion, std::string(16, 'B'));

    block[0] = 0;
    block[66] = 0;
    const Pr01Texts cut = decodeConfigBlock(block);
    EXPECT_EQ(cut.version, "");
    EXPECT_EQ(cut.bootVersion, "BB");
}

TEST(DecodeConfigBlock, RowBytesBecomeTwoUppercaseDigits)
{
    ConfigBlock block{};
    const std::uint8_t values[] = {0, 5, 10, 97, 255};
    for (std::size_t i = 0; i < std::size(values); ++i)
        block[80 + i] = values[i];
    block[80 + 4 * 7 + 3] = 0xAB; // exponent of the last row
    const Pr01Texts texts = decodeConfigBlock(block);
    EXPECT_EQ(texts.code[0], "00");
    EXPECT_EQ(texts.country[0], "05");
    EXPECT_EQ(texts.denom[0], "0A");
    EXPECT_EQ(texts.exp[0], "61");
    EXPECT_EQ(texts.code[1], "FF");
    EXPECT_EQ(texts.exp[7], "AB");
}

TEST(EncodeConfigBlock, InitialBoxesGiveEmptyTextsAndCodes61To68)
{
    const ConfigBlock block = encodeOk(Pr01Texts::initial());
    EXPECT_TRUE(allZero(block, 0, 80));
    for (std::size_t row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(block[80 + 4 * row], 0x61 + row);
        EXPECT_TRUE(allZero(block, 81 + 4 * row, 84 + 4 * row)) << row;
    }
    EXPECT_TRUE(allZero(block, 112, 128));
}

TEST(EncodeConfigBlock, TextsOneBytePerCharacterZeroPadded)
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.bootVersion = "AB";
    texts.version = "ID003 \xE9"; // Latin-1 e acute stays one byte
    const ConfigBlock block = encodeOk(texts);
    EXPECT_EQ(block[64], 0x41);
    EXPECT_EQ(block[65], 0x42);
    EXPECT_TRUE(allZero(block, 66, 80));
    EXPECT_EQ(block[6], 0xE9);
    EXPECT_TRUE(allZero(block, 7, 64));
}

TEST(EncodeConfigBlock, EachColumnLandsAtItsOffset)
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.code[3] = "0A";
    texts.country[3] = "0a";
    texts.denom[3] = "A";
    texts.exp[3] = "a";
    texts.code[5] = "";
    texts.country[5] = "x1";
    texts.denom[5] = "1x";
    texts.exp[5] = "FF";
    const ConfigBlock block = encodeOk(texts);
    EXPECT_EQ((std::array<int, 4>{block[92], block[93], block[94], block[95]}),
              (std::array<int, 4>{10, 10, 10, 10}));
    EXPECT_EQ((std::array<int, 4>{block[100], block[101], block[102], block[103]}),
              (std::array<int, 4>{0, 0, 1, 255}));
}

TEST(EncodeConfigBlock, FullLengthTextsFit)
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = std::string(64, 'v');
    texts.bootVersion = std::string(16, 'b');
    const ConfigBlock block = encodeOk(texts);
    EXPECT_EQ(block[63], 'v');
    EXPECT_EQ(block[64], 'b');
    EXPECT_EQ(block[79], 'b');
    EXPECT_EQ(block[80], 0x61);
}

TEST(EncodeConfigBlock, RefusesWhatDoesNotFitAndNamesTheBox)
{
    const struct
    {
        const char *label;
        void (*change)(Pr01Texts &);
        const char *expected;
    } rows[] = {
        {"version 65", [](Pr01Texts &t) { t.version = std::string(65, 'v'); },
         "The Version text has 65 characters, but the XLT holds at most 64. Nothing was sent."},
        {"boot 17", [](Pr01Texts &t) { t.bootVersion = std::string(17, 'b'); },
         "The Boot Version text has 17 characters, but the XLT holds at most 16. Nothing was "
         "sent."},
        {"code 100", [](Pr01Texts &t) { t.code[0] = "100"; },
         "The Currency Assigment value \"100\" in the first row, column Code, is above FF. "
         "Nothing was sent."},
        {"denom 1FF", [](Pr01Texts &t) { t.denom[7] = "1 FF"; },
         "The Currency Assigment value \"1 FF\" in the eighth row, column Demonination, is above "
         "FF. Nothing was sent."},
    };
    for (const auto &row : rows) {
        Pr01Texts texts = Pr01Texts::initial();
        row.change(texts);
        const EncodeResult result = encodeConfigBlock(texts);
        EXPECT_FALSE(result.block.has_value()) << row.label;
        EXPECT_EQ(result.error, row.expected) << row.label;
    }
}

TEST(ConfigBlock, DecodeOfEncodeKeepsEveryBox)
{
    Pr01Texts texts;
    texts.version = "PR01 V1.23 some firmware";
    texts.bootVersion = "BOOT 0.9";
    for (std::size_t row = 0; row < kRowCount; ++row) {
        texts.code[row] = "6" + std::to_string(row);
        texts.country[row] = "0" + std::to_string(row);
        texts.denom[row] = "F" + std::to_string(row);
        texts.exp[row] = "0" + std::to_string(row);
    }
    EXPECT_EQ(decodeConfigBlock(encodeOk(texts)), texts);
}
