#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xlt::monitor {

/// The verdict on a captured frame's checksum.
enum class CrcVerdict {
    Good,      ///< the frame's CRC matches its bytes
    Bad,       ///< the CRC does not match, or the frame is shorter than its length byte says
    Unchecked, ///< neither an SSP nor an ID003 frame, or cut off by the end of its reply
};

/// Checks a captured frame by its first byte. SSP (0x7F): the bytes after the start byte are
/// destuffed (7F 7F is one 7F; a single 7F breaks the frame), then CRC-16 (0x8005, seed 0xFFFF)
/// over SEQ, LEN and LEN data bytes must equal the two bytes after them, low byte first. ID003
/// (0xFC): CRC-16/KERMIT over the LNG - 2 bytes from 0xFC must equal the last two of the LNG bytes,
/// low byte first. Bytes past the frame's own length are ignored.
CrcVerdict checkFrameCrc(std::span<const std::uint8_t> frame);

/// True for the tags of replies: the validator's SSP response (0x55) and the device's ID003
/// response to the host (0xCA). The other two tags are requests.
bool isReplyTag(std::uint8_t tag);

/// Pairs the replies of one side with the request they answer: a reply answers the latest
/// request before it on the same side that no reply has answered yet. Sums up the times.
class ReplyTimes
{
public:
    /// Takes one record in capture order; for a reply that answers a request, the milliseconds
    /// from the request to the reply.
    std::optional<std::uint32_t> take(std::uint8_t tag, std::uint32_t offsetMs);
    void reset() { *this = ReplyTimes(); }

    std::uint64_t count() const { return m_count; }
    std::uint32_t worst() const { return m_worst; }
    /// Mean milliseconds; 0 before the first pair.
    double mean() const;

private:
    std::optional<std::uint32_t> m_request;
    std::uint64_t m_count = 0;
    std::uint64_t m_total = 0;
    std::uint32_t m_worst = 0;
};

/// One side's figures for a run: records listed, CRC failures and the request-to-reply times.
struct SideSummary
{
    std::uint64_t records = 0;
    std::uint64_t crcFailures = 0;
    ReplyTimes times;

    /// What one record adds; returns the record's reply time, if it is a paired reply.
    std::optional<std::uint32_t> take(std::uint8_t tag, std::uint32_t offsetMs, CrcVerdict crc);
    void reset() { *this = SideSummary(); }
    /// "Records: 120  CRC failures: 0  Replies: 58, mean 7.2 ms, worst 12 ms"
    QString text() const;
};

/// The tooltip of a record: its CRC failure and its reply time; empty when there is neither.
QString recordToolTip(CrcVerdict crc, std::optional<std::uint32_t> replyMs);

/// A text filter over records: a record is shown when one of its lines contains the text,
/// ignoring case. An empty (or blank) text shows every record.
class RecordFilter
{
public:
    RecordFilter() = default;
    explicit RecordFilter(const QString &text);

    bool empty() const { return m_text.isEmpty(); }
    bool matches(std::span<const QString> lines) const;

private:
    QString m_text;
};

/// A record in the merged timeline of both sides.
struct TimelineRecord
{
    bool target = true;
    std::uint32_t offsetMs = 0;
    QStringList lines;
};

/// Orders records of both sides by time offset; records with the same offset keep the order
/// in which they were captured.
void orderTimeline(std::vector<TimelineRecord> &records);

/// The lines a timeline shows for a record: its own, with the "Packet #" line led by the side
/// ("Target " or "Host ").
QStringList timelineLines(const TimelineRecord &record);

/// Records as exported to a text file: their lines one after the other, each ended by CR LF
/// like the log files.
QString exportText(const std::vector<QStringList> &records);

} // namespace xlt::monitor
