#include "pr01/ConfigBlock.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace xlt::pr01;

namespace {

std::vector<int> range(const ConfigBlock &block, std::size_t from, std::size_t count)
{
    return {block.begin() + static_cast<long>(from), block.begin() + static_cast<long>(from + count)};
}

void setRow(Pr01Texts &texts, std::size_t row, const std::array<std::string, 4> &values)
{
    texts.code[row] = values[0];
    texts.country[row] = values[1];
    texts.denom[row] = values[2];
    texts.exp[row] = values[3];
}

} // namespace

TEST(ConfigBlock, HexTextToValue)
{
    const std::pair<const char *, std::uint32_t> rows[] = {
        {"0A", 10}, {"0a", 10},   {"A", 10},       {"a", 10},       {"", 0},
        {"x1", 0},  {"1x", 1},    {"7f", 127},     {" 6\t1\n", 0x61}, {"1\r2", 1},
        {"100", 256}, {"-1", 0}, {"FFFFFFFFFFFF", 0xFFFFFFFFu},
    };
    for (const auto &[text, value] : rows)
        EXPECT_EQ(hexTextValue(text), value) << '"' << text << '"';
}

TEST(ConfigBlock, Decode)
{
    ConfigBlock block{};
    std::fill_n(block.begin(), 64, 'V'); // no zero byte: the whole field
    std::copy_n("BT\0X", 4, block.begin() + 64);
    const std::uint8_t row0[] = {0, 5, 10, 97};
    std::copy(std::begin(row0), std::end(row0), block.begin() + 80);
    block[111] = 255;
    block[112] = 1; // the host drive option is no part of this window's data
    const Pr01Texts texts = decodeConfigBlock(block);
    EXPECT_EQ(texts.version, std::string(64, 'V'));
    EXPECT_EQ(texts.bootVersion, "BT");
    EXPECT_EQ((std::array{texts.code[0], texts.country[0], texts.denom[0], texts.exp[0]}),
              (std::array<std::string, 4>{"00", "05", "0A", "61"}));
    EXPECT_EQ(texts.exp[7], "FF");

    block[0] = 0;
    std::fill_n(block.begin() + 64, 16, 'B');
    EXPECT_EQ(decodeConfigBlock(block).version, "");
    EXPECT_EQ(decodeConfigBlock(block).bootVersion, std::string(16, 'B'));
}

TEST(ConfigBlock, Encode)
{
    const ConfigBlock initial = *encodeConfigBlock(Pr01Texts::initial()).block;
    EXPECT_EQ(range(initial, 0, 80), std::vector<int>(80, 0));
    for (std::size_t row = 0; row < kRowCount; ++row)
        EXPECT_EQ(range(initial, 80 + 4 * row, 4), (std::vector<int>{0x61 + int(row), 0, 0, 0}));
    EXPECT_EQ(range(initial, 112, 16), std::vector<int>(16, 0));

    Pr01Texts texts = Pr01Texts::initial();
    texts.version = std::string(63, 'v') + "\xE9";
    texts.bootVersion = "AB";
    setRow(texts, 3, {"0A", "0a", "A", "a"});
    setRow(texts, 5, {"", "x1", "1x", "FF"});
    const ConfigBlock block = *encodeConfigBlock(texts).block;
    EXPECT_EQ(block[63], 0xE9);
    EXPECT_EQ(range(block, 64, 16), (std::vector<int>{0x41, 0x42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                      0, 0, 0, 0}));
    EXPECT_EQ(range(block, 92, 4), (std::vector<int>{10, 10, 10, 10}));
    EXPECT_EQ(range(block, 100, 4), (std::vector<int>{0, 0, 1, 255}));
    EXPECT_EQ(decodeConfigBlock(block).version, texts.version);
}

TEST(ConfigBlock, RefusesWhatDoesNotFitAndNamesTheBox)
{
    const std::pair<void (*)(Pr01Texts &), const char *> rows[] = {
        {[](Pr01Texts &t) { t.version = std::string(65, 'v'); },
         "The Version text has 65 characters, but the XLT holds at most 64. Nothing was sent."},
        {[](Pr01Texts &t) { t.bootVersion = std::string(17, 'b'); },
         "The Boot Version text has 17 characters, but the XLT holds at most 16. Nothing was "
         "sent."},
        {[](Pr01Texts &t) { t.code[0] = "100"; },
         "The Currency Assigment value \"100\" in the first row, column Code, is above FF. "
         "Nothing was sent."},
        {[](Pr01Texts &t) { t.denom[7] = "1 FF"; },
         "The Currency Assigment value \"1 FF\" in the eighth row, column Demonination, is above "
         "FF. Nothing was sent."},
    };
    for (const auto &[change, message] : rows) {
        Pr01Texts texts = Pr01Texts::initial();
        change(texts);
        const EncodeResult result = encodeConfigBlock(texts);
        EXPECT_FALSE(result.block.has_value()) << message;
        EXPECT_EQ(result.error, message);
    }
}
