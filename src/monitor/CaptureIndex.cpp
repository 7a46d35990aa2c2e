#include "CaptureIndex.h"

#include "TrafficListing.h"
#include "core/Text.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <thread>

namespace xlt::monitor {

namespace {

constexpr std::size_t kLines = 5;
constexpr std::size_t kParallelFrom = 50'000; ///< records in each half

bool isListedTag(std::uint8_t tag)
{
    return tag == kTagTargetRx || tag == kTagTargetTx || tag == kTagHostTx || tag == kTagHostRx;
}

std::string_view sideLead(bool target)
{
    return target ? std::string_view("Target ") : std::string_view("Host ");
}

/// A header value for a label: control bytes and DEL as \xNN.
QString shown(const std::string &bytes)
{
    std::string out;
    core::appendShown(out, bytes);
    return core::toQString(out);
}

class CaptureSource final : public RecordSource
{
public:
    CaptureSource(std::shared_ptr<const CaptureIndex> index, CaptureIndex::List which)
        : m_index(std::move(index))
        , m_records(m_index->list(which))
        , m_timeline(which == CaptureIndex::List::Timeline)
    {}

    std::size_t recordCount() const override { return m_records.size(); }
    RecordFacts facts(std::size_t record) const override
    {
        return m_index->facts(m_records[record]);
    }
    std::size_t lineCount(std::size_t) const override { return kLines; }
    QString line(std::size_t record, std::size_t k) const override
    {
        std::string text;
        m_index->appendLine(text, m_records[record], k, m_timeline);
        return core::toQString(text);
    }
    std::vector<char> shownBy(const RecordFilter &filter) const override
    {
        std::vector<char> shown(m_records.size(), 0);
        const auto match = [&](std::size_t from, std::size_t to) {
            // Each record's lines are made into the same buffers: no allocation per record.
            std::array<std::string, kLines> lines;
            std::array<std::string_view, kLines> views;
            for (std::size_t record = from; record < to; ++record) {
                const std::uint32_t which = m_records[record];
                shown[record] = filter.matches(
                    m_index->facts(which), [&]() -> std::span<const std::string_view> {
                        for (std::size_t k = 0; k < kLines; ++k) {
                            lines[k].clear();
                            m_index->appendLine(lines[k], which, k, m_timeline);
                            views[k] = lines[k];
                        }
                        return views;
                    });
            }
        };
        // A long list is searched on two threads, each over its own half.
        const std::size_t half = shown.size() / 2;
        if (half < kParallelFrom || std::thread::hardware_concurrency() < 2) {
            match(0, shown.size());
        } else {
            std::thread other(match, half, shown.size());
            match(0, half);
            other.join();
        }
        return shown;
    }
    std::size_t widestLine() const override { return m_index->widestLine(); }

private:
    std::shared_ptr<const CaptureIndex> m_index;
    const std::vector<std::uint32_t> &m_records;
    bool m_timeline;
};

} // namespace

CaptureIndex::CaptureIndex(std::shared_ptr<const Capture> capture, std::size_t replies)
    : m_capture(std::move(capture))
    , m_replies(std::min(replies, m_capture->count()))
{
    const std::vector<std::uint8_t> &bytes = m_capture->bytes;
    // Real traffic has records of 11 bytes and more.
    const std::size_t expected =
        m_replies == 0 ? 0 : m_capture->ends[m_replies - 1] / 11 + m_replies;
    m_records.reserve(expected);
    m_text.reserve(expected * 16);
    std::array<std::int32_t, 2> numbers{}; // host, target
    std::vector<std::uint32_t> reply;
    std::size_t from = 0;
    for (std::size_t r = 0; r < m_replies; ++r) {
        const std::size_t end = m_capture->ends[r];
        std::size_t position = from;
        reply.clear();
        while (position < end) {
            const std::uint8_t tag = bytes[position];
            if (!isListedTag(tag)) {
                ++position; // a stray byte, as the listing skips it
                continue;
            }
            if (position + kRecordHeaderSize > end)
                break; // a header cut off by the end of the reply
            const std::uint8_t *head = bytes.data() + position;
            const std::uint32_t offset = std::uint32_t{head[1]} | std::uint32_t{head[2]} << 8 |
                                         std::uint32_t{head[3]} << 16 |
                                         std::uint32_t{head[4]} << 24;
            const std::size_t frameLength = head[5];
            const std::size_t listed = std::min(frameLength, end - position - kRecordHeaderSize);
            const std::span<const std::uint8_t> frame(head + kRecordHeaderSize, listed);
            const bool target = tag == kTagTargetRx || tag == kTagTargetTx;
            std::int32_t &number = numbers[target ? 1 : 0];

            Entry entry{static_cast<std::uint32_t>(position),
                        static_cast<std::uint32_t>(m_text.size()),
                        number,
                        0,
                        static_cast<std::uint8_t>(listed),
                        listed == frameLength ? checkFrameCrc(frame) : CrcVerdict::Unchecked,
                        false};
            number = number == std::numeric_limits<std::int32_t>::max() ? 0 : number + 1;
            SideSummary &summary = target ? m_targetSummary : m_hostSummary;
            if (const auto ms = summary.take(tag, offset, entry.crc)) {
                entry.replyMs = *ms;
                entry.hasReply = true;
            }
            const std::string decoded = decodedLine(tag, frame);
            m_text += decoded;
            if (!frame.empty() && frame[0] == 0x7F)
                m_targetProtocol = "SSP";
            else if (!frame.empty() && frame[0] == 0xFC)
                m_hostProtocol = "PR01";
            // "Target Packet #2147483647 ---": the longest packet line.
            m_widest =
                std::max({m_widest, decoded.size(), 10 + 3 * listed, std::size_t{7 + 8 + 10 + 64}});

            const auto id = static_cast<std::uint32_t>(m_records.size());
            m_records.push_back(entry);
            (target ? m_target : m_host).push_back(id);
            reply.push_back(id);
            position += kRecordHeaderSize + frameLength;
        }
        // The timeline takes a reply's records of both sides in time order (orderTimeline).
        std::stable_sort(reply.begin(), reply.end(), [this](std::uint32_t a, std::uint32_t b) {
            return facts(a).offsetMs < facts(b).offsetMs;
        });
        m_timeline.insert(m_timeline.end(), reply.begin(), reply.end());
        from = end;
    }
}

const std::vector<std::uint32_t> &CaptureIndex::list(List which) const
{
    switch (which) {
    case List::Target:
        return m_target;
    case List::Host:
        return m_host;
    default:
        return m_timeline;
    }
}

RecordFacts CaptureIndex::facts(std::uint32_t record) const
{
    const Entry &entry = m_records[record];
    const std::uint8_t *head = m_capture->bytes.data() + entry.at;
    RecordFacts facts{head[0],
                      std::uint32_t{head[1]} | std::uint32_t{head[2]} << 8 |
                          std::uint32_t{head[3]} << 16 | std::uint32_t{head[4]} << 24,
                      entry.crc, std::nullopt};
    if (entry.hasReply)
        facts.replyMs = entry.replyMs;
    return facts;
}

void CaptureIndex::appendLine(std::string &out, std::uint32_t record, std::size_t k,
                              bool timeline) const
{
    const Entry &entry = m_records[record];
    const std::uint8_t *head = m_capture->bytes.data() + entry.at;
    switch (k) {
    case 0:
        if (timeline)
            out += sideLead(head[0] == kTagTargetRx || head[0] == kTagTargetTx);
        appendPacketNumberLine(out, entry.number);
        break;
    case 1:
        appendTimeOffsetLine(out, facts(record).offsetMs);
        break;
    case 2:
        appendHexLine(out, head[0], std::span(head + kRecordHeaderSize, entry.listed));
        break;
    case 3: {
        const std::size_t end =
            record + 1 < m_records.size() ? m_records[record + 1].text : m_text.size();
        out.append(m_text, entry.text, end - entry.text);
        break;
    }
    default:
        out += ' ';
        break;
    }
}

void openCapture(const std::filesystem::path &path, const CaptureOpening &opening,
                 std::size_t firstReplies)
{
    CaptureRead read = readCaptureFile(path);
    if (opening.stopped())
        return;
    if (!read.capture) {
        opening.refused(read.reason);
        return;
    }
    const auto capture = std::make_shared<const Capture>(std::move(*read.capture));
    if (capture->count() > firstReplies) {
        opening.indexed(std::make_shared<const CaptureIndex>(capture, firstReplies), false);
        if (opening.stopped())
            return;
    }
    opening.indexed(std::make_shared<const CaptureIndex>(capture), true);
}

std::shared_ptr<const RecordSource> captureSource(std::shared_ptr<const CaptureIndex> index,
                                                  CaptureIndex::List which)
{
    return std::make_shared<CaptureSource>(std::move(index), which);
}

QString captureHeaderLines(const CaptureIndex &index)
{
    const CaptureHeader &header = index.capture().header;
    QString identity = QStringLiteral("unknown");
    if (header.identity)
        identity = QStringLiteral("%1 %2 %3")
                       .arg(shown(header.identity->interfaceCode), shown(header.identity->firmware),
                            shown(header.identity->modNumber));
    QString port = shown(header.portName);
    if (!header.deviceNode.empty())
        port += QLatin1Char(' ') + shown(header.deviceNode);
    QString counts = QStringLiteral("%1 records").arg(index.records());
    if (index.capture().cutLines > 0)
        counts += QStringLiteral(", %1 cut line ignored").arg(index.capture().cutLines);
    return QStringLiteral("Started %1   Port %2   Identity %3   Program %4\n%5")
        .arg(shown(header.started), port, identity, shown(header.program), counts);
}

} // namespace xlt::monitor
