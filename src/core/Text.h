#pragma once

// Texts in XLT are single-byte: every byte maps one to one onto a Latin-1 character and back.
// Window-free code keeps such texts in std::string (one char per byte); windows convert at the
// boundary with toQString()/fromQString().

#include <QString>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace xlt::core {

/// The Latin-1 character of every byte.
inline QString toQString(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

/// One byte per character; a character outside Latin-1 becomes '?'.
inline std::string fromQString(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

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
