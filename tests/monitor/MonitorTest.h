// Shared by the monitor tests: frames and capture records, recording lists, log files, and the
// device that answers when the test says (support/HeldLink.h).
#pragma once

#include "core/FileIo.h"
#include "monitor/TrafficListing.h"
#include "support/HeldLink.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace xlt::montest {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

inline const std::string kRule = " ---------------------------------------------------------------";

/// Bytes from hex digit pairs ("7F 80 01 07"; blanks ignored).
inline Bytes bytesOf(const std::string &hex)
{
    Bytes out;
    for (std::size_t i = hex.find_first_not_of(' '); i < hex.size();
         i = hex.find_first_not_of(' ', i + 2))
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string repeated(const char *text, int times)
{
    return QString(text).repeated(times).toStdString();
}

/// One capture record: tag, time offset (4 bytes, little-endian), FrameLength, frame.
inline Bytes record(std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    Bytes out{tag};
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(offset >> shift));
    out.push_back(static_cast<std::uint8_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

/// Records, or lines, one after the other.
template<typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline const Bytes kSspPoll = bytesOf("7F 80 01 07 12 02");
inline const Bytes kSspOk = bytesOf("7F 80 01 F0 23 80");
inline const Bytes kStatusRequest = bytesOf("FC 05 11 27 56");
inline const Bytes kDisabled = bytesOf("FC 05 1A F4 E8");

/// A list that also remembers every line ever added, cleared or not, and the selection.
struct RecordingList final : monitor::LineList
{
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override
    {
        lines.push_back(line);
        history.push_back(line);
    }
    void selectLast() override { selected = lines.size(); }
    Lines lines;
    Lines history;
    std::size_t selected = 0; // lines when selectLast() was last called
};

struct RecordingLabel final : monitor::TextLabel
{
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

/// The lines of a log file split at CRLF (nullopt: no file); fails on a bare LF or a last line
/// without CRLF.
inline std::optional<Lines> logLines(const std::filesystem::path &path)
{
    const core::FileRead file = core::readRegularFile(path, qint64{1} << 30);
    if (!file.bytes)
        return std::nullopt;
    QList<QByteArray> parts = file.bytes->split('\n');
    EXPECT_TRUE(parts.takeLast().isEmpty()) << "no CRLF at the end of " << path;
    Lines lines;
    for (const QByteArray &line : parts) {
        EXPECT_TRUE(line.endsWith('\r')) << "bare LF in " << path;
        lines.emplace_back(line.constData(), static_cast<std::size_t>(line.size()) - 1);
    }
    return lines;
}

inline std::optional<Lines> logLines(const QString &path)
{
    return logLines(core::toPath(path));
}

using test::HeldLink;
using test::linkFactory;
using test::settle;

} // namespace xlt::montest
