#include "core/Crc.h"

#include <gtest/gtest.h>
#include <vector>

// The standard check values; frames of both protocols: FrameCrc (tests/monitor).
TEST(Crc, CheckValues)
{
    const std::vector<std::uint8_t> digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(xlt::core::crc16Ssp(digits), 0xAEE7);
    EXPECT_EQ(xlt::core::crc16Kermit(digits), 0x2189);
}
