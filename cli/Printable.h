#pragma once

// Text from the device or from a file, made safe for a terminal. A device or a file can hold
// any byte: an escape sequence or a NUL printed as it comes would move the cursor, retitle or
// clear the window, or hide text, so xltctl never prints one raw.

#include <filesystem>
#include <string>

namespace xlt::cli {

/// A single-byte (Latin-1) text of the device or a file, for the terminal: each byte is the
/// Latin-1 character in the local encoding, except control bytes (0x00-0x1F, 0x7F and the C1
/// range 0x80-0x9F, which some terminals also obey), written as \xNN.
std::string printable(const std::string &text);

/// A path for the terminal: the characters of its name as they are, every other byte (one that
/// is not UTF-8, a control byte) as \xNN.
std::string shownPath(const std::filesystem::path &path);

/// A text in the local encoding, such as a word of the command line or a message that quotes
/// one, for the terminal: escaped as shownPath() escapes a name.
std::string shownWord(const std::string &word);

} // namespace xlt::cli
