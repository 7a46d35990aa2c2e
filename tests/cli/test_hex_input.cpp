// xltctl decode's hexadecimal input: digit pairs in groups, and lines of bounded length.
#include "HexInput.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace xlt::cli;
using Bytes = std::vector<std::uint8_t>;

namespace {

TEST(HexInput, ParsesDigitPairsInGroups)
{
    // Rows: text, bytes (nullopt: refused).
    const std::pair<std::string, std::optional<Bytes>> rows[] = {
        {"7F8001", Bytes{0x7F, 0x80, 0x01}},
        {" 7f 80\t01\r\n", Bytes{0x7F, 0x80, 0x01}},
        {"", Bytes{}},
        {"7F 8", std::nullopt},
        {"7G", std::nullopt},
        {"0x7F", std::nullopt},
        {std::string(510, 'A'), Bytes(255, 0xAA)},
        {std::string(512, 'A'), std::nullopt},
        {std::string(508, 'A') + " " + std::string(4, 'B'), std::nullopt},
    };
    for (const auto &[text, bytes] : rows) {
        std::string problem;
        EXPECT_EQ(parseHex(text, problem), bytes) << text;
        EXPECT_EQ(problem.empty(), bytes.has_value()) << text;
    }
}

// A line past the limit is read to its end but not kept, and the next line is whole.
TEST(HexInput, LinesPastTheLimitAreNotKept)
{
    std::istringstream in("AA\n" + std::string(kMaxHexLineChars, '#') + "\n" +
                          std::string(kMaxHexLineChars + 1, '#') + "\nBB");
    std::string line;
    bool tooLong = false;
    const std::pair<std::string, bool> expected[] = {
        {"AA", false}, {std::string(kMaxHexLineChars, '#'), false}, {"", true}, {"BB", false}};
    for (const auto &[text, long_] : expected) {
        ASSERT_TRUE(readHexLine(in, line, tooLong));
        EXPECT_EQ(line.size(), text.size());
        EXPECT_EQ(tooLong, long_);
    }
    EXPECT_FALSE(readHexLine(in, line, tooLong));
}

} // namespace
