#pragma once

// Update files made up for the tests: a header with the magic and a block count, blocks whose
// bytes differ from block to block, and an identity at file offset 2160.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xlt::test {

/// A file of `length` bytes (default: exactly the header and `numBlocks` blocks, at least long
/// enough for the identity) with block count `numBlocks` and `identity` at offset 2160.
inline std::vector<std::uint8_t> makeDpc(int numBlocks, std::size_t length = 0,
                                         const std::string &identity = "PR01 01230001")
{
    if (length == 0)
        length = std::max<std::size_t>(128 + 128 * static_cast<std::size_t>(numBlocks), 2173);
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    if (length >= 3) {
        bytes[0] = 'X';
        bytes[1] = 'L';
        bytes[2] = 'T';
    }
    if (length >= 7) {
        bytes[5] = static_cast<std::uint8_t>(numBlocks % 256);
        bytes[6] = static_cast<std::uint8_t>(numBlocks / 256);
    }
    for (std::size_t i = 0; i < identity.size() && 2160 + i < length; ++i)
        bytes[2160 + i] = static_cast<std::uint8_t>(identity[i]);
    return bytes;
}

} // namespace xlt::test
