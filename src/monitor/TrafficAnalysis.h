#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

/// What the analysis knows of one listed record besides its lines. A record that is no
/// traffic (the run's mark) has tag 0.
struct RecordFacts
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    CrcVerdict crc = CrcVerdict::Unchecked;
    std::optional<std::uint32_t> replyMs;

    bool traffic() const { return tag != 0; }
    /// The validator's side (SSP, tags 0x35 and 0x55); else the host's side (ID003).
    bool target() const;
    /// A reply (0x55, 0xCA), which the lists label "XLT RX"; requests are "XLT TX".
    bool reply() const { return isReplyTag(tag); }
};

struct ListedRecord;

/// The facts of a record just listed: its CRC verdict (when the reply holds its whole frame)
/// and its reply time, which `summary` (its side's) adds up.
RecordFacts analyseRecord(SideSummary &summary, const ListedRecord &record);

/// A filter over records: blank-separated terms that all must hold (AND).
///   text          consecutive plain words form one text that a line of the record contains,
///                 ignoring case ("7F 80" is the two bytes in that order, as typed)
///   !word         no line contains the word; !crc=bad and the like negate that term
///   crc=ok|bad    the CRC verdict (unchecked records are neither)
///   reply>N       reply time in ms, also <, =, >=, <= and an optional "ms"; records without
///                 a reply time never match
///   side=target|host, dir=tx|rx   the side; requests (tx) or replies (rx), as the hex line
///                 labels them "XLT TX" / "XLT RX"
/// Keys and values ignore case. A term that does not parse (reply>abc, crc=maybe, side=, a
/// lone !) is left out and listed in badTerms(); the other terms still apply. An empty (or
/// blank) text shows every record.
class RecordFilter
{
public:
    RecordFilter() = default;
    explicit RecordFilter(const QString &text);

    /// True when no term applies (every record is shown).
    bool empty() const { return m_terms.empty(); }
    bool matches(std::span<const QString> lines, const RecordFacts &facts = {}) const;
    /// The same for a record whose lines are Latin-1 bytes made on demand (a capture read
    /// back): `lines` is called only when a text term is to be searched, and its lines must
    /// live until the next call. Case is ignored exactly as for QStrings.
    bool matches(const RecordFacts &facts,
                 const std::function<std::span<const std::string_view>()> &lines) const;
    /// The terms left out, as typed.
    const QStringList &badTerms() const { return m_bad; }

private:
    struct Term
    {
        enum class Kind { Text, Crc, Reply, Side, Dir } kind = Kind::Text;
        bool negated = false;
        QString text;            ///< Kind::Text
        std::u16string folded{}; ///< Kind::Text, case-folded (for Latin-1 lines)
        /// Kind::Text: how far a search in Latin-1 moves on after each Latin-1 byte at the
        /// end of the text compared (Horspool's table over the folded text).
        std::vector<std::size_t> skip{};
        bool flag = false;    ///< Crc: bad; Side: target; Dir: reply
        char op = '=';        ///< Reply: '<', '>', '=', 'l' (<=), 'g' (>=)
        std::uint32_t ms = 0; ///< Reply
    };
    static std::optional<Term> parseKeyTerm(const QString &word);
    bool holds(const Term &term, std::span<const QString> lines, const RecordFacts &facts) const;
    static bool containsText(std::string_view line, const Term &term);

    std::vector<Term> m_terms;
    QStringList m_bad;
};

/// A record of a list with its facts.
struct TrafficRecord
{
    RecordFacts facts;
    QStringList lines;
};

/// Orders records of both sides by time offset; records with the same offset keep the order
/// in which they were captured.
void orderTimeline(std::vector<TrafficRecord> &records);

/// The lines a timeline shows for a record: its own, with the "Packet #" line led by the side
/// ("Target " or "Host ").
QStringList timelineLines(const TrafficRecord &record);

/// The traffic records (not the run marks) as CSV, UTF-8 with every Latin-1 character as
/// itself, quoted as RFC 4180 says, each row ended by CR LF. A header row, then one row per
/// record: run time (s, the record's time offset: the capture restarts with each run), side,
/// direction (tx, rx), packet number, time offset (ms), hex bytes, decoded text, CRC verdict
/// (ok, bad, unchecked), reply time (ms, empty without one).
QByteArray csvText(const std::vector<TrafficRecord> &records);

/// The series of the reply-time plot.
enum class PlotSeries { Target, Host, CrcFailures };

/// A point of the reply-time plot: run time (s) across, milliseconds up.
struct PlotPoint
{
    PlotSeries series = PlotSeries::Target;
    double seconds = 0;
    double ms = 0;
};

/// The points a record adds: one in its side's series when it has a reply time, and one in the
/// CRC failures' when its CRC failed (at its reply time, or at 0 ms without one).
std::vector<PlotPoint> plotPoints(const RecordFacts &facts);

/// Whether `facts` is the record behind a point of `series` at `seconds`.
bool isPlotRecord(PlotSeries series, double seconds, const RecordFacts &facts);

/// Records as exported to a text file: their lines one after the other, each ended by CR LF
/// like the log files.
QString exportText(const std::vector<QStringList> &records);

} // namespace xlt::monitor
