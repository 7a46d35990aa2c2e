#pragma once

// Frames of the two protocols that the device relays, as they appear on its ports, and the
// traffic record that a capture-read reply carries them in.

#include <cstdint>
#include <span>
#include <vector>

namespace xlt::sim {

/// Record tags: side and direction of a captured frame.
constexpr std::uint8_t kTagHostCommand = 0xAA;    ///< ID003, host to device
constexpr std::uint8_t kTagHostResponse = 0xCA;   ///< ID003, device to host
constexpr std::uint8_t kTagTargetCommand = 0x35;  ///< SSP, device to validator
constexpr std::uint8_t kTagTargetResponse = 0x55; ///< SSP, validator to device

/// Bytes of a record before its frame: tag, u32 time offset, frame length.
constexpr std::size_t kRecordHeader = 6;

/// An SSP frame as sent on the line: 7F, SEQ, LEN, DATA, CRC low, CRC high. The CRC
/// (core::crc16Ssp) covers SEQ..last DATA byte; every 7F after the start byte is sent twice.
std::vector<std::uint8_t> sspFrame(std::uint8_t seq, std::span<const std::uint8_t> data);

/// An ID003 frame: FC, LNG (whole frame length), code, DATA, CRC low, CRC high. The CRC
/// (core::crc16Kermit) covers FC..last DATA byte. `data` holds at most 250 bytes.
std::vector<std::uint8_t> id003Frame(std::uint8_t code, std::span<const std::uint8_t> data = {});

/// One captured frame: when (milliseconds since capture start) and on which side.
struct TrafficRecord
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    std::vector<std::uint8_t> frame; ///< at most 249 bytes, so a record fits one reply

    std::size_t size() const { return kRecordHeader + frame.size(); }
    /// Appends tag, offset (little-endian), length and frame to `out`.
    void appendTo(std::vector<std::uint8_t> &out) const;
};

} // namespace xlt::sim
