#include "TrafficListing.h"

#include "ID003Data.h"
#include "SSPData.h"
#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

namespace xlt::monitor {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kPacketRule =
    " ---------------------------------------------------------------"sv;

bool isTargetTag(std::uint8_t tag)
{
    return tag == kTagTargetRx || tag == kTagTargetTx;
}

bool isHostTag(std::uint8_t tag)
{
    return tag == kTagHostTx || tag == kTagHostRx;
}

std::string_view hexPrefix(std::uint8_t tag)
{
    switch (tag) {
    case kTagTargetRx:
        return "XLT RX  "sv;
    case kTagTargetTx:
        return "XLT TX  "sv;
    case kTagHostTx:
        return "XLT TX    "sv;
    default:
        return "XLT RX    "sv;
    }
}

template<typename Number> void appendDecimal(std::string &out, Number value)
{
    char digits[16];
    const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
    out.append(digits, result.ptr);
}

// The packet numbers are 32-bit signed; after the largest value they start again at 0 instead
// of overflowing.
void advance(std::int32_t &count)
{
    count = count == std::numeric_limits<std::int32_t>::max() ? 0 : count + 1;
}

struct NullLabel final : TextLabel
{
    void setText(const std::string &) override {}
};

void addLine(LineList &list, std::vector<std::string> &out, std::string line)
{
    list.add(line);
    out.push_back(std::move(line));
}

} // namespace

void appendPacketNumberLine(std::string &out, std::int32_t number)
{
    out += "Packet #"sv;
    appendDecimal(out, number);
    out += kPacketRule;
}

void appendTimeOffsetLine(std::string &out, std::uint32_t offsetMs)
{
    out += "Packet time offset: "sv;
    appendDecimal(out, offsetMs);
    out += "ms"sv;
}

void appendHexLine(std::string &out, std::uint8_t tag, std::span<const std::uint8_t> frame)
{
    out += hexPrefix(tag);
    // Written in place: a capture's filter makes this line for every record.
    std::size_t at = out.size();
    out.resize(at + 3 * frame.size());
    for (const std::uint8_t value : frame) {
        out[at++] = core::kHexDigits[value >> 4];
        out[at++] = core::kHexDigits[value & 0x0F];
        out[at++] = ' ';
    }
}

std::string decodedLine(std::uint8_t tag, std::span<const std::uint8_t> frame)
{
    WorkingFrame working{};
    std::copy_n(frame.begin(), std::min(frame.size(), working.size()), working.begin());
    NullLabel none;
    return DecodePacket(working, tag, none, none);
}

TrafficListing::TrafficListing(LineList &targetList, LineList &hostList, TextLabel &lblTarget,
                               TextLabel &lblHost, core::EventPump &pump)
    : m_target(targetList)
    , m_host(hostList)
    , m_lblTarget(lblTarget)
    , m_lblHost(lblHost)
    , m_pump(pump)
{}

void TrafficListing::resetCounts()
{
    HostPacketCount = 0;
    TargetPacketCount = 0;
}

TrafficListing::Added TrafficListing::ProcessCapture(const link::XLTPacket &packet)
{
    // The cap is applied once per reply, so a list may pass it by the records of one reply.
    if (m_target.count() >= kListCap)
        m_target.clear();
    if (m_host.count() >= kListCap)
        m_host.clear();

    Added added;
    const std::size_t length = packet.ReplyLength;
    std::size_t position = 0;
    while (position < length) {
        const std::uint8_t tag = packet.ReplyData[position];
        if (position + kRecordHeaderSize > length && (isTargetTag(tag) || isHostTag(tag))) {
            // A header cut off by the end of the reply: its bytes are not a record.
            break;
        }
        if (isTargetTag(tag))
            position = ListPacket(m_target, added.target, packet, position);
        else if (isHostTag(tag))
            position = ListPacket(m_host, added.host, packet, position);
        else
            ++position; // a stray byte: resynchronise on the next one
        m_pump.processEvents();
    }
    return added;
}

std::size_t TrafficListing::ListPacket(LineList &list, std::vector<std::string> &out,
                                       const link::XLTPacket &packet, std::size_t position)
{
    const std::uint8_t *record = packet.ReplyData + position;
    const std::uint8_t tag = record[0];
    const std::uint32_t timeOffset = std::uint32_t{record[1]} | std::uint32_t{record[2]} << 8 |
                                     std::uint32_t{record[3]} << 16 |
                                     std::uint32_t{record[4]} << 24;
    const std::size_t frameLength = record[5];
    // Bytes past ReplyLength are left over from earlier replies: list only what this one holds.
    const std::size_t length = packet.ReplyLength;
    const std::size_t available = length - (position + kRecordHeaderSize);
    const std::size_t listed = std::min(frameLength, available);

    if (out.empty())
        out.reserve(5 * (length / 12 + 1)); // records of real traffic are 11 bytes and more
    std::int32_t &count = isTargetTag(tag) ? TargetPacketCount : HostPacketCount;
    std::string line;
    line.reserve(8 + 11 + kPacketRule.size());
    appendPacketNumberLine(line, count);
    addLine(list, out, std::move(line));
    line.clear();
    line.reserve(20 + 10 + 2);
    appendTimeOffsetLine(line, timeOffset);
    addLine(list, out, std::move(line));
    advance(count);

    const std::span<const std::uint8_t> bytes(record + kRecordHeaderSize, listed);
    line.clear();
    line.reserve(10 + 3 * listed);
    appendHexLine(line, tag, bytes);
    addLine(list, out, std::move(line));
    WorkingFrame frame{};
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    addLine(list, out, DecodePacket(frame, tag, m_lblTarget, m_lblHost));
    addLine(list, out, std::string(" "));
    list.recordDone(
        {tag, timeOffset, std::span(record + kRecordHeaderSize, listed), listed == frameLength});
    list.selectLast();
    return position + kRecordHeaderSize + frameLength;
}

std::string DecodePacket(const WorkingFrame &frame, std::uint8_t tag, TextLabel &lblTarget,
                         TextLabel &lblHost)
{
    static const std::string kSsp = "SSP";
    static const std::string kPr01 = "PR01";
    if (frame[0] == 0x7F) {
        lblTarget.setText(kSsp);
        return DecodeSSP(frame, tag);
    }
    if (frame[0] == 0xFC) {
        lblHost.setText(kPr01);
        return DecodeID003(frame, tag);
    }
    return {};
}

} // namespace xlt::monitor
