#include "TrafficFrames.h"

#include "core/Crc.h"

#include <algorithm>

namespace xlt::sim {

namespace {

constexpr std::uint8_t kSspStart = 0x7F;
constexpr std::uint8_t kId003Sync = 0xFC;
constexpr std::size_t kMaxId003Data = 250;

void appendLowFirst(std::vector<std::uint8_t> &out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

} // namespace

std::vector<std::uint8_t> sspFrame(std::uint8_t seq, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> body{seq, static_cast<std::uint8_t>(data.size())};
    body.insert(body.end(), data.begin(), data.end());
    appendLowFirst(body, core::crc16Ssp(std::span(body.data(), body.size())));

    std::vector<std::uint8_t> frame{kSspStart};
    for (std::uint8_t byte : body) {
        frame.push_back(byte);
        if (byte == kSspStart)
            frame.push_back(byte);
    }
    return frame;
}

std::vector<std::uint8_t> id003Frame(std::uint8_t code, std::span<const std::uint8_t> data)
{
    const std::size_t n = std::min(data.size(), kMaxId003Data);
    std::vector<std::uint8_t> frame{kId003Sync, static_cast<std::uint8_t>(n + 5), code};
    frame.insert(frame.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    appendLowFirst(frame, core::crc16Kermit(frame));
    return frame;
}

void TrafficRecord::appendTo(std::vector<std::uint8_t> &out) const
{
    out.push_back(tag);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(offsetMs >> shift));
    out.push_back(static_cast<std::uint8_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
}

} // namespace xlt::sim
