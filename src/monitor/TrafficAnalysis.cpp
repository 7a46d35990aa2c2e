#include "TrafficAnalysis.h"

#include "TrafficListing.h"
#include "core/Crc.h"

#include <algorithm>

namespace xlt::monitor {

namespace {

std::uint16_t lowFirst(std::uint8_t low, std::uint8_t high)
{
    return static_cast<std::uint16_t>(low | high << 8);
}

CrcVerdict checkSsp(std::span<const std::uint8_t> frame)
{
    // Destuffed SEQ, LEN, data and CRC: at most the frame's own bytes.
    std::vector<std::uint8_t> body;
    body.reserve(frame.size());
    for (std::size_t i = 1; i < frame.size(); ++i) {
        body.push_back(frame[i]);
        if (frame[i] == 0x7F) {
            // A single 7F after the start byte starts another frame: this one is broken.
            if (i + 1 >= frame.size() || frame[i + 1] != 0x7F)
                return CrcVerdict::Bad;
            ++i;
        }
        if (body.size() >= 2 && body.size() == std::size_t{body[1]} + 4)
            break;
    }
    if (body.size() < 4 || body.size() < std::size_t{body[1]} + 4)
        return CrcVerdict::Bad;
    const std::size_t covered = std::size_t{body[1]} + 2;
    const std::uint16_t sent = lowFirst(body[covered], body[covered + 1]);
    return core::crc16Ssp(std::span(body.data(), covered)) == sent ? CrcVerdict::Good
                                                                   : CrcVerdict::Bad;
}

CrcVerdict checkId003(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 2)
        return CrcVerdict::Bad;
    const std::size_t length = frame[1];
    if (length < 4 || frame.size() < length)
        return CrcVerdict::Bad;
    const std::uint16_t sent = lowFirst(frame[length - 2], frame[length - 1]);
    return core::crc16Kermit(frame.first(length - 2)) == sent ? CrcVerdict::Good : CrcVerdict::Bad;
}

} // namespace

CrcVerdict checkFrameCrc(std::span<const std::uint8_t> frame)
{
    if (frame.empty())
        return CrcVerdict::Unchecked;
    if (frame[0] == 0x7F)
        return checkSsp(frame);
    if (frame[0] == 0xFC)
        return checkId003(frame);
    return CrcVerdict::Unchecked;
}

bool isReplyTag(std::uint8_t tag)
{
    return tag == kTagTargetRx || tag == kTagHostRx;
}

std::optional<std::uint32_t> ReplyTimes::take(std::uint8_t tag, std::uint32_t offsetMs)
{
    if (!isReplyTag(tag)) {
        m_request = offsetMs;
        return std::nullopt;
    }
    if (!m_request || offsetMs < *m_request)
        return std::nullopt;
    const std::uint32_t ms = offsetMs - *m_request;
    m_request.reset();
    ++m_count;
    m_total += ms;
    m_worst = std::max(m_worst, ms);
    return ms;
}

double ReplyTimes::mean() const
{
    return m_count == 0 ? 0.0 : static_cast<double>(m_total) / static_cast<double>(m_count);
}

std::optional<std::uint32_t> SideSummary::take(std::uint8_t tag, std::uint32_t offsetMs,
                                               CrcVerdict crc)
{
    ++records;
    if (crc == CrcVerdict::Bad)
        ++crcFailures;
    return times.take(tag, offsetMs);
}

QString SideSummary::text() const
{
    QString out = QStringLiteral("Records: %1  CRC failures: %2  Replies: %3")
                      .arg(records)
                      .arg(crcFailures)
                      .arg(times.count());
    if (times.count() > 0)
        out += QStringLiteral(", mean %1 ms, worst %2 ms")
                   .arg(times.mean(), 0, 'f', 1)
                   .arg(times.worst());
    return out;
}

QString recordToolTip(CrcVerdict crc, std::optional<std::uint32_t> replyMs)
{
    QStringList parts;
    if (crc == CrcVerdict::Bad)
        parts << QStringLiteral("CRC check failed");
    if (replyMs)
        parts << QStringLiteral("Reply %1 ms after its request").arg(*replyMs);
    return parts.join(QLatin1Char('\n'));
}

RecordFilter::RecordFilter(const QString &text)
    : m_text(text.trimmed())
{}

bool RecordFilter::matches(std::span<const QString> lines) const
{
    if (m_text.isEmpty())
        return true;
    return std::any_of(lines.begin(), lines.end(), [this](const QString &line) {
        return line.contains(m_text, Qt::CaseInsensitive);
    });
}

void orderTimeline(std::vector<TimelineRecord> &records)
{
    std::stable_sort(
        records.begin(), records.end(),
        [](const TimelineRecord &a, const TimelineRecord &b) { return a.offsetMs < b.offsetMs; });
}

QStringList timelineLines(const TimelineRecord &record)
{
    QStringList lines = record.lines;
    if (!lines.isEmpty())
        lines[0].prepend(record.target ? QStringLiteral("Target ") : QStringLiteral("Host "));
    return lines;
}

QString exportText(const std::vector<QStringList> &records)
{
    QString out;
    for (const QStringList &record : records) {
        for (const QString &line : record) {
            out += line;
            out += QStringLiteral("\r\n");
        }
    }
    return out;
}

} // namespace xlt::monitor
