#include "core/Text.h"

#include <gtest/gtest.h>

using namespace xlt::core;

TEST(Text, HexForms)
{
    const struct
    {
        std::uint8_t value;
        const char *padded;
        const char *bare;
    } cases[] = {
        {0, "00", "0"}, {5, "05", "5"}, {10, "0A", "A"}, {97, "61", "61"}, {255, "FF", "FF"}};
    for (const auto &c : cases) {
        EXPECT_EQ(hex2(c.value), c.padded);
        EXPECT_EQ(hexNoPad(c.value), c.bare);
    }
}

TEST(Text, Latin1RoundTripKeepsEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(fromQString(toQString(all)), all);
}
