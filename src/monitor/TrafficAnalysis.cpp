#include "TrafficAnalysis.h"

#include "TrafficListing.h"
#include "core/Crc.h"

#include <algorithm>
#include <array>
#include <limits>

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

bool RecordFacts::target() const
{
    return tag == kTagTargetRx || tag == kTagTargetTx;
}

RecordFacts analyseRecord(SideSummary &summary, const ListedRecord &record)
{
    RecordFacts facts{record.tag, record.offsetMs,
                      record.complete ? checkFrameCrc(record.frame) : CrcVerdict::Unchecked,
                      std::nullopt};
    facts.replyMs = summary.take(record.tag, record.offsetMs, facts.crc);
    return facts;
}

namespace {

bool isBlank(QChar c)
{
    return c.isSpace();
}

/// "50", "50ms": milliseconds up to 2^32 - 1.
std::optional<std::uint32_t> parseMs(QString value)
{
    if (value.endsWith(QLatin1String("ms"), Qt::CaseInsensitive))
        value.chop(2);
    if (value.isEmpty() || value.size() > 10 ||
        !std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    const qulonglong ms = value.toULongLong();
    if (ms > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(ms);
}

/// The key of a word such as "reply>50" ("reply"), or empty when the word is plain text.
QString keyOf(const QString &word)
{
    for (const char *key : {"crc", "reply", "side", "dir"}) {
        const QLatin1String name(key);
        if (word.size() > name.size() && word.startsWith(name, Qt::CaseInsensitive) &&
            QStringLiteral("=<>").contains(word[name.size()]))
            return name;
    }
    return {};
}

} // namespace

std::optional<RecordFilter::Term> RecordFilter::parseKeyTerm(const QString &word)
{
    const QString key = keyOf(word);
    QString rest = word.mid(key.size());
    Term term;
    if (key == QLatin1String("reply")) {
        term.kind = Term::Kind::Reply;
        term.op = rest[0].toLatin1();
        rest.remove(0, 1);
        if (term.op != '=' && rest.startsWith(QLatin1Char('='))) {
            term.op = term.op == '<' ? 'l' : 'g';
            rest.remove(0, 1);
        }
        const std::optional<std::uint32_t> ms = parseMs(rest);
        if (!ms)
            return std::nullopt;
        term.ms = *ms;
        return term;
    }
    if (!rest.startsWith(QLatin1Char('=')))
        return std::nullopt;
    const QString value = rest.mid(1).toLower();
    const auto oneOf = [&](const char *yes, const char *no) -> std::optional<bool> {
        if (value == QLatin1String(yes))
            return true;
        if (value == QLatin1String(no))
            return false;
        return std::nullopt;
    };
    std::optional<bool> flag;
    if (key == QLatin1String("crc")) {
        term.kind = Term::Kind::Crc;
        flag = oneOf("bad", "ok");
    } else if (key == QLatin1String("side")) {
        term.kind = Term::Kind::Side;
        flag = oneOf("target", "host");
    } else {
        term.kind = Term::Kind::Dir;
        flag = oneOf("rx", "tx");
    }
    if (!flag)
        return std::nullopt;
    term.flag = *flag;
    return term;
}

namespace {

/// Each Latin-1 character case-folded as QString folds it (some fold outside Latin-1: µ).
const std::array<char16_t, 256> kLatin1Folded = [] {
    std::array<char16_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = QChar(static_cast<char16_t>(c)).toCaseFolded().unicode();
    return table;
}();

} // namespace

RecordFilter::RecordFilter(const QString &text)
{
    // The plain words between two key terms stay one text, blanks as typed.
    qsizetype textFrom = -1;
    qsizetype textTo = -1;
    const auto endText = [&] {
        if (textFrom >= 0)
            m_terms.push_back({Term::Kind::Text, false, text.mid(textFrom, textTo - textFrom)});
        textFrom = -1;
    };
    qsizetype at = 0;
    while (at < text.size()) {
        if (isBlank(text[at])) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        const QString word = text.mid(at, end - at);
        const bool negated = word.startsWith(QLatin1Char('!'));
        const QString body = negated ? word.mid(1) : word;
        if (!negated && keyOf(body).isEmpty()) {
            if (textFrom < 0)
                textFrom = at;
            textTo = end;
        } else {
            endText();
            std::optional<Term> term;
            if (!keyOf(body).isEmpty())
                term = parseKeyTerm(body);
            else if (!body.isEmpty() && !body.startsWith(QLatin1Char('!')))
                term = Term{Term::Kind::Text, false, body};
            if (term) {
                term->negated = negated;
                m_terms.push_back(*term);
            } else {
                m_bad << word;
            }
        }
        at = end;
    }
    endText();
    for (Term &term : m_terms) {
        for (const QChar c : term.text)
            term.folded.push_back(c.toCaseFolded().unicode());
        if (term.kind != Term::Kind::Text)
            continue;
        const std::size_t size = term.folded.size();
        term.skip.assign(256, size);
        for (std::size_t byte = 0; byte < 256; ++byte) {
            for (std::size_t k = 0; k + 1 < size; ++k) {
                if (kLatin1Folded[byte] == term.folded[k])
                    term.skip[byte] = size - 1 - k;
            }
        }
    }
    // The cheap terms first: most records are decided before any text is searched.
    std::stable_partition(m_terms.begin(), m_terms.end(),
                          [](const Term &term) { return term.kind != Term::Kind::Text; });
}

bool RecordFilter::holds(const Term &term, std::span<const QString> lines,
                         const RecordFacts &facts) const
{
    switch (term.kind) {
    case Term::Kind::Text:
        return std::any_of(lines.begin(), lines.end(), [&term](const QString &line) {
            return line.contains(term.text, Qt::CaseInsensitive);
        });
    case Term::Kind::Crc:
        return facts.crc == (term.flag ? CrcVerdict::Bad : CrcVerdict::Good);
    case Term::Kind::Reply:
        if (!facts.replyMs)
            return false;
        switch (term.op) {
        case '<':
            return *facts.replyMs < term.ms;
        case '>':
            return *facts.replyMs > term.ms;
        case 'l':
            return *facts.replyMs <= term.ms;
        case 'g':
            return *facts.replyMs >= term.ms;
        default:
            return *facts.replyMs == term.ms;
        }
    case Term::Kind::Side:
        return facts.traffic() && facts.target() == term.flag;
    case Term::Kind::Dir:
        return facts.traffic() && facts.reply() == term.flag;
    }
    return false;
}

bool RecordFilter::matches(std::span<const QString> lines, const RecordFacts &facts) const
{
    return std::all_of(m_terms.begin(), m_terms.end(),
                       [&](const Term &term) { return holds(term, lines, facts) != term.negated; });
}

bool RecordFilter::containsText(std::string_view line, const Term &term)
{
    // Horspool's search, comparing case-folded characters from the end of the text.
    const std::u16string &folded = term.folded;
    const std::size_t size = folded.size();
    if (size == 0)
        return true;
    for (std::size_t at = 0; at + size <= line.size();) {
        std::size_t k = size;
        while (k > 0 && kLatin1Folded[static_cast<std::uint8_t>(line[at + k - 1])] == folded[k - 1])
            --k;
        if (k == 0)
            return true;
        at += term.skip[static_cast<std::uint8_t>(line[at + size - 1])];
    }
    return false;
}

bool RecordFilter::matches(const RecordFacts &facts,
                           const std::function<std::span<const std::string_view>()> &lines) const
{
    std::span<const std::string_view> made;
    bool asked = false;
    return std::all_of(m_terms.begin(), m_terms.end(), [&](const Term &term) {
        if (term.kind != Term::Kind::Text)
            return holds(term, {}, facts) != term.negated;
        if (!asked) {
            made = lines();
            asked = true;
        }
        const bool found = std::any_of(made.begin(), made.end(), [&](std::string_view line) {
            return containsText(line, term);
        });
        return found != term.negated;
    });
}

void orderTimeline(std::vector<TrafficRecord> &records)
{
    std::stable_sort(records.begin(), records.end(),
                     [](const TrafficRecord &a, const TrafficRecord &b) {
                         return a.facts.offsetMs < b.facts.offsetMs;
                     });
}

QStringList timelineLines(const TrafficRecord &record)
{
    QStringList lines = record.lines;
    if (!lines.isEmpty())
        lines[0].prepend(record.facts.target() ? QStringLiteral("Target ")
                                               : QStringLiteral("Host "));
    return lines;
}

namespace {

/// A CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

/// "123" of "Packet #123 ----" (also led by a timeline's side).
QString packetNumber(const QString &line)
{
    const qsizetype at = line.indexOf(QLatin1String("Packet #"));
    return at < 0 ? QString() : line.mid(at + 8).section(QLatin1Char(' '), 0, 0);
}

QString crcText(CrcVerdict crc)
{
    switch (crc) {
    case CrcVerdict::Good:
        return QStringLiteral("ok");
    case CrcVerdict::Bad:
        return QStringLiteral("bad");
    default:
        return QStringLiteral("unchecked");
    }
}

} // namespace

QByteArray csvText(const std::vector<TrafficRecord> &records)
{
    QString out = QStringLiteral("run time (s),side,direction,packet,time offset (ms),hex,"
                                 "decoded,CRC,reply time (ms)\r\n");
    for (const TrafficRecord &record : records) {
        const RecordFacts &facts = record.facts;
        if (!facts.traffic())
            continue;
        const QStringList fields{QString::number(facts.offsetMs / 1000.0, 'f', 3),
                                 facts.target() ? QStringLiteral("target") : QStringLiteral("host"),
                                 facts.reply() ? QStringLiteral("rx") : QStringLiteral("tx"),
                                 packetNumber(record.lines.value(0)),
                                 QString::number(facts.offsetMs),
                                 // "XLT TX  7F 80 01 ": the bytes after the label.
                                 record.lines.value(2).section(QLatin1Char(' '), 2).trimmed(),
                                 record.lines.value(3).trimmed(), crcText(facts.crc),
                                 facts.replyMs ? QString::number(*facts.replyMs) : QString()};
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        out += quoted.join(QLatin1Char(','));
        out += QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

std::vector<PlotPoint> plotPoints(const RecordFacts &facts)
{
    std::vector<PlotPoint> points;
    if (!facts.traffic())
        return points;
    const double seconds = facts.offsetMs / 1000.0;
    const double ms = facts.replyMs.value_or(0);
    if (facts.replyMs)
        points.push_back({facts.target() ? PlotSeries::Target : PlotSeries::Host, seconds, ms});
    if (facts.crc == CrcVerdict::Bad)
        points.push_back({PlotSeries::CrcFailures, seconds, ms});
    return points;
}

bool isPlotRecord(PlotSeries series, double seconds, const RecordFacts &facts)
{
    const std::vector<PlotPoint> points = plotPoints(facts);
    return std::any_of(points.begin(), points.end(), [&](const PlotPoint &point) {
        return point.series == series && qRound64(point.seconds * 1000) == qRound64(seconds * 1000);
    });
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
