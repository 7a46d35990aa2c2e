#pragma once

// Text from the device or from a file, made safe for a terminal. A device or a file can hold
// any byte: an escape sequence or a NUL printed as it comes would move the cursor, retitle or
// clear the window, or hide text, so xltctl never prints one raw.

#include <string>

namespace xlt::cli {

/// A single-byte (Latin-1) text of the device or a file, for the terminal: each byte is the
/// Latin-1 character in the local encoding, except control bytes (0x00-0x1F, 0x7F and the C1
/// range 0x80-0x9F, which some terminals also obey), written as \xNN.
std::string printable(const std::string &text);

/// A text already in the local encoding (a message that names a file, say): control bytes
/// 0x00-0x1F and 0x7F as \xNN, every other byte as it is.
std::string withoutControls(const std::string &text);

} // namespace xlt::cli
