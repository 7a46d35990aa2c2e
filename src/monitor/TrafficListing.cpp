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

constexpr std::size_t kHeaderSize = 6; // tag, 4 bytes TimeOffset, FrameLength
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

std::string packetLine(std::int32_t number)
{
    std::string line;
    line.reserve(8 + 11 + kPacketRule.size());
    line += "Packet #"sv;
    appendDecimal(line, number);
    line += kPacketRule;
    return line;
}

std::string timeLine(std::uint32_t offsetMs)
{
    std::string line;
    line.reserve(20 + 10 + 2);
    line += "Packet time offset: "sv;
    appendDecimal(line, offsetMs);
    line += "ms"sv;
    return line;
}

// The packet numbers are 32-bit signed; after the largest value they start again at 0 instead
// of overflowing.
void advance(std::int32_t &count)
{
    count = count == std::numeric_limits<std::int32_t>::max() ? 0 : count + 1;
}

void addLine(LineList &list, std::vector<std::string> &out, std::string line)
{
    list.add(line);
    out.push_back(std::move(line));
}

} // namespace

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
        if (position + kHeaderSize > length && (isTargetTag(tag) || isHostTag(tag))) {
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
    const std::size_t available = length - (position + kHeaderSize);
    const std::size_t listed = std::min(frameLength, available);

    if (out.empty())
        out.reserve(5 * (length / 12 + 1)); // records of real traffic are 11 bytes and more
    std::int32_t &count = isTargetTag(tag) ? TargetPacketCount : HostPacketCount;
    addLine(list, out, packetLine(count));
    addLine(list, out, timeLine(timeOffset));
    advance(count);

    WorkingFrame frame{};
    const std::string_view prefix = hexPrefix(tag);
    std::string hexLine;
    hexLine.reserve(prefix.size() + 3 * listed);
    hexLine += prefix;
    for (std::size_t k = 0; k < listed; ++k) {
        const std::uint8_t value = record[kHeaderSize + k];
        frame[k] = value;
        core::appendHex2(hexLine, value);
        hexLine += ' ';
    }
    addLine(list, out, std::move(hexLine));
    addLine(list, out, DecodePacket(frame, tag, m_lblTarget, m_lblHost));
    addLine(list, out, std::string(" "));
    list.recordDone(
        {tag, timeOffset, std::span(record + kHeaderSize, listed), listed == frameLength});
    list.selectLast();
    return position + kHeaderSize + frameLength;
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
