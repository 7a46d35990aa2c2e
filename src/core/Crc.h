#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace xlt::core {

/// CRC-16 with polynomial 0x8005 and seed 0xFFFF, most significant bit first, no final XOR.
/// This is the checksum of SSP frames (sent low byte first, over the bytes from the sequence
/// byte to the last data byte) and of the link's own frames. Check value for "123456789": 0xAEE7.
std::uint16_t crc16Ssp(std::span<const std::uint8_t> bytes);

/// CRC-16/KERMIT: reflected polynomial 0x8408, initial value 0, no final XOR. This is the
/// checksum of ID003 frames (sent low byte first, over the bytes from 0xFC to the last data
/// byte). Check value for "123456789": 0x2189.
std::uint16_t crc16Kermit(std::span<const std::uint8_t> bytes);

} // namespace xlt::core
