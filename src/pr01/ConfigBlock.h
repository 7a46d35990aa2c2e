#pragma once

// The PR01 configuration as the window's boxes hold it, and the 128-byte block in which the
// device reads and writes it (commands 17 and 18).
//
// Block layout (offsets in bytes):
//   0..63    version text, one byte per character, zero bytes after the text
//   64..79   boot version text, encoded the same way
//   80..111  currency rows 0..7, four bytes each at 80 + 4r: code, country, denomination, exponent
//   112      host drive option (owned by the options window): encoded as 0; a write into the
//            device puts back the byte the device holds (see Pr01Device)
//   113..127 no content: ignored when read, written as 0

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace xlt::pr01 {

constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kVersionSize = 64;
constexpr std::size_t kBootVersionOffset = 64;
constexpr std::size_t kBootVersionSize = 16;
constexpr std::size_t kCurrencyOffset = 80;
constexpr std::size_t kRowCount = 8;
constexpr std::size_t kHostDriveOffset = 112;

using ConfigBlock = std::array<std::uint8_t, kBlockSize>;

/// The texts of the window's boxes, one char per byte (Latin-1). This is only what is read from
/// or written into the boxes at one moment; the boxes stay the holder of the configuration.
struct Pr01Texts
{
    std::string version;
    std::string bootVersion;
    std::array<std::string, kRowCount> code;
    std::array<std::string, kRowCount> country;
    std::array<std::string, kRowCount> denom;
    std::array<std::string, kRowCount> exp;

    /// The boxes as the window opens: empty texts, codes "61" to "68", every other row box "00".
    static Pr01Texts initial();

    bool operator==(const Pr01Texts &) const = default;
};

/// The four columns of a currency row in the order the device stores them.
enum class Column { Code, Country, Denom, Exp };

/// The column heading the window shows: "Code", "Country", "Demonination", "Exp".
const char *columnHeading(Column column);

/// The text of one currency box.
const std::string &cell(const Pr01Texts &texts, std::size_t row, Column column);
std::string &cell(Pr01Texts &texts, std::size_t row, Column column);

/// Reads a currency box text as a hexadecimal number: blanks, tabs and line feeds anywhere are
/// ignored, then the leading hexadecimal digits (either case) give the value; reading stops at
/// the first other character. A text without a leading digit, the empty text included, gives 0.
/// The result is not reduced to a byte; values beyond 0xFFFFFFFF saturate there.
std::uint32_t hexTextValue(const std::string &text);

/// The byte a currency box text stands for when hexTextValue() reads all of it: blanks, tabs
/// and line feeds aside, one or more hexadecimal digits of a value up to FF. Nothing for any
/// other text (empty, "zz", "0x1F", "100"), which the window would send as a value the text
/// does not say. xltctl refuses such a file; the window keeps its own reading.
std::optional<std::uint8_t> hexByteValue(const std::string &text);

/// Decodes a configuration block as the device returns it (ReplyData[0..127], whatever the
/// reply length): each text runs up to its first zero byte or the end of its field; each row
/// byte becomes two uppercase hexadecimal digits.
Pr01Texts decodeConfigBlock(std::span<const std::uint8_t, kBlockSize> block);

/// Fills the eight rows of `texts` from 32 bytes (row r at 4r: code, country, denom, exp).
void decodeCurrencyRows(std::span<const std::uint8_t, 4 * kRowCount> rows, Pr01Texts &texts);

/// The outcome of encoding: either the block, or the reason the texts do not fit it.
struct EncodeResult
{
    std::optional<ConfigBlock> block;
    std::string error; ///< user-facing text naming the box; empty when `block` is set
};

/// Builds the block to send with command 18 from a zeroed buffer. Refuses, and writes nothing,
/// when the version is longer than 64 characters, the boot version longer than 16, or a
/// currency box's value is above FF.
EncodeResult encodeConfigBlock(const Pr01Texts &texts);

} // namespace xlt::pr01
