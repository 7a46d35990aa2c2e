#include "core/Crc.h"

#include <gtest/gtest.h>
#include <vector>

using xlt::core::crc16Kermit;
using xlt::core::crc16Ssp;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(Crc, CheckValues)
{
    const auto digits = bytes({'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    EXPECT_EQ(crc16Ssp(digits), 0xAEE7);
    EXPECT_EQ(crc16Kermit(digits), 0x2189);
}

struct FrameCase
{
    std::vector<std::uint8_t> frame; // as on the line, CRC low byte first at the end
    std::size_t from;                // first byte the CRC covers
    bool ssp;
};

TEST(Crc, KnownFramesCarryTheirChecksum)
{
    const FrameCase cases[] = {
        {bytes({0x7F, 0x80, 0x01, 0x11, 0x65, 0x82}), 1, true},       // SYNC
        {bytes({0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}), 1, true},       // POLL
        {bytes({0x7F, 0x80, 0x02, 0xF0, 0xEB, 0x45, 0xA2}), 1, true}, // OK, STACKED
        {bytes({0x7F, 0x80, 0x04, 0xF0, 0xEE, 0x01, 0xEB, 0xB9, 0x48}), 1, true},
        {bytes({0xFC, 0x05, 0x11, 0x27, 0x56}), 0, false}, // STATUS REQUEST
        {bytes({0xFC, 0x05, 0x40, 0x2B, 0x15}), 0, false}, // RESET
        {bytes({0xFC, 0x05, 0x50, 0xAA, 0x05}), 0, false}, // ACK
        {bytes({0xFC, 0x05, 0x88, 0x6F, 0x5F}), 0, false}, // VERSION REQUEST
    };
    for (const auto &c : cases) {
        const std::span<const std::uint8_t> covered(c.frame.data() + c.from,
                                                    c.frame.size() - c.from - 2);
        const std::uint16_t crc = c.ssp ? crc16Ssp(covered) : crc16Kermit(covered);
        EXPECT_EQ(crc & 0xFF, c.frame[c.frame.size() - 2]);
        EXPECT_EQ(crc >> 8, c.frame.back());
    }
}

} // namespace
