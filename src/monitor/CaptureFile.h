#pragma once

// The capture file of a monitor run: the run's capture-read replies kept whole, so that the
// run can be listed again (xltctl decode --replies) or read back (readCaptureFile). Text, one
// line per LF:
//
//   # XLT capture 1                        format version; always the first line
//   # started 2026-12-07T11:30:52+01:00    when Run was pressed, ISO 8601 with the UTC offset
//   # port COM129 /dev/pts/5               the port, then its device node (none: left out)
//   # identity PR01 0123 0001              interface, firmware, mod number; or "unknown"
//   # program 1.0.0.1                      the version of the program that wrote the file
//   7F 80 01 ...                           each capture-read reply that holds bytes
//
// A value in the header is one word: its bytes 0x21 to 0x7E as they are, except the backslash,
// and every other byte (blank, control, backslash, 0x7F and up) as \xNN, so the words of a line
// split at single blanks. A reply is its bytes as upper-case hex pairs separated by single
// blanks. Lines starting with '#' are comments to xltctl decode; a reader ignores header lines
// it does not know (fields of later versions).

#include "link/Identity.h"

#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xlt::monitor {

constexpr int kCaptureVersion = 1;
/// The capture's name beside the run's logs: "<log base name>.xltcap".
constexpr char kCaptureExtension[] = ".xltcap";
/// The longest line read: a reply of 255 bytes is 765 characters; header lines are short.
constexpr std::size_t kMaxCaptureLineChars = 4096;
/// The most replies read: over a day of polling at 20 replies a second.
constexpr std::size_t kMaxCaptureReplies = 2'000'000;
/// The largest file read: kMaxCaptureReplies full replies and their line ends.
constexpr qint64 kMaxCaptureFileBytes = qint64{kMaxCaptureReplies} * 768;

/// The header of a capture; what a file does not give stays empty (nothing).
struct CaptureHeader
{
    int version = kCaptureVersion;
    std::string started; ///< "2026-12-07T11:30:52+01:00"
    std::string portName;
    std::string deviceNode; ///< bytes as the system names the node
    std::optional<link::Identity> identity;
    std::string program;
};

/// The identity for a header from the reply to command 16: the three fields of a whole
/// identity text (13 bytes or more); nothing for a shorter reply.
std::optional<link::Identity> captureIdentity(std::span<const std::uint8_t> reply);

/// "2026-12-07T11:30:52+01:00".
std::string captureTime(const QDateTime &when);

/// The header lines, each ended by LF, starting with "# XLT capture 1".
std::string captureHeaderText(const CaptureHeader &header);

/// The line of one reply, ended by LF; nothing for an empty reply (it is not kept).
std::string captureReplyLine(std::span<const std::uint8_t> reply);

/// A capture read back.
struct Capture
{
    CaptureHeader header;
    std::vector<std::uint8_t> bytes; ///< every reply's bytes, one after the other
    std::vector<std::uint32_t> ends; ///< where each reply ends in `bytes`
    /// Header lines ignored: unknown ('#' lines of later versions, comments) or unreadable.
    std::size_t ignoredHeaderLines = 0;
    /// 1 when the last line was cut (no LF at its end, or not whole hex): it is ignored.
    std::size_t cutLines = 0;

    std::size_t count() const { return ends.size(); }
    std::span<const std::uint8_t> reply(std::size_t index) const;
};

struct CaptureRead
{
    std::optional<Capture> capture; ///< set exactly on success
    std::string reason;             ///< why not, on failure ("line 7: ...")
};

/// Reads a capture in pieces, as they come: feed() each piece, then finish().
class CaptureReader
{
public:
    /// Room for the replies of a file of `fileBytes` (a reply's byte takes 3 characters).
    void reserve(qint64 fileBytes);
    /// False once the input has been refused (the reason is kept for finish()).
    bool feed(std::string_view piece);
    CaptureRead finish();

private:
    bool line(std::string_view text, bool ended);
    bool header(std::string_view text);
    bool fail(std::string reason);

    Capture m_capture;
    std::string m_carry; ///< the start of a line that a piece cut
    std::size_t m_lineNumber = 0;
    bool m_started = false;    ///< the "# XLT capture" line was read
    bool m_inHeader = true;    ///< no reply read yet
    std::size_t m_badLine = 0; ///< a line that is not whole hex: only the last may be so
    std::string m_badReason;
    std::string m_failure;
};

/// Reads the capture at `path`, a regular file (a link to one is fine; a pipe, a device or a
/// folder is refused as core::FileIo refuses them) of at most kMaxCaptureFileBytes.
CaptureRead readCaptureFile(const std::filesystem::path &path);

} // namespace xlt::monitor
