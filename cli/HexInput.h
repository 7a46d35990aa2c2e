#pragma once

// The hexadecimal input of xltctl decode: frames on the command line and capture-read replies,
// one per line, from a file or standard input.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xlt::cli {

/// A frame's length and a reply's length are one byte.
inline constexpr std::size_t kMaxHexBytes = 255;
/// The longest input line taken: 255 bytes as spaced pairs are 765 characters; a longer line
/// (a comment included) is refused whole, so no line is held beyond this.
inline constexpr std::size_t kMaxHexLineChars = 4096;

/// Groups of hexadecimal digit pairs (either case) separated by blanks, tabs, CR or LF:
/// "7F8001" and "7F 80 01" are the same bytes. A group with an odd number of digits or another
/// character is refused rather than guessed at, as is more than kMaxHexBytes bytes; `problem`
/// then says why.
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text, std::string &problem);

/// Reads one line (without its LF) of at most kMaxHexLineChars characters. False at the end of
/// the input. A longer line is read to its end but not kept: `line` is then empty and
/// `tooLong` true.
bool readHexLine(std::istream &in, std::string &line, bool &tooLong);

} // namespace xlt::cli
