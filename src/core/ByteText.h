#pragma once

// Single-byte texts without Qt: hexadecimal digits and bytes shown to the user. Text.h adds the
// conversions to and from QString.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace xlt::core {

/// One character per byte, zero bytes included.
inline std::string bytesToText(std::span<const std::uint8_t> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

/// Appends two uppercase hexadecimal digits, "0" in front below 16 (no allocation of its own).
inline void appendHex2(std::string &out, std::uint8_t value)
{
    out += kHexDigits[value >> 4];
    out += kHexDigits[value & 0x0F];
}

/// Appends `bytes` as the user is shown a device node or a serial number: control bytes
/// (below 0x20, and 0x7F) written as \xNN, every other byte as it is.
inline void appendShown(std::string &out, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            appendHex2(out, byte);
        } else {
            out += c;
        }
    }
}

/// Appends uppercase hexadecimal without leading zero (no allocation of its own).
inline void appendHexNoPad(std::string &out, std::uint8_t value)
{
    if (value >= 0x10)
        out += kHexDigits[value >> 4];
    out += kHexDigits[value & 0x0F];
}

/// Two uppercase hexadecimal digits, "0" in front below 16: 5 -> "05", 255 -> "FF".
inline std::string hex2(std::uint8_t value)
{
    std::string out;
    appendHex2(out, value);
    return out;
}

/// Uppercase hexadecimal without leading zero: 5 -> "5", 10 -> "A", 0 -> "0".
inline std::string hexNoPad(std::uint8_t value)
{
    std::string out;
    appendHexNoPad(out, value);
    return out;
}

/// The value of one hexadecimal digit in either case, or -1 for any other character.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace xlt::core
