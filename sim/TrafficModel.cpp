#include "TrafficModel.h"

#include <algorithm>
#include <array>
#include <limits>

namespace xlt::sim {

namespace {

// SSP: command and generic response codes, and the events used here.
constexpr std::uint8_t kSspPoll = 0x07, kSspDisable = 0x09, kSspEnable = 0x0A, kSspHold = 0x18;
constexpr std::uint8_t kSspOk = 0xF0;
constexpr std::uint8_t kEvRead = 0xEF, kEvCredit = 0xEE, kEvStacking = 0xCC, kEvStacked = 0xEB,
                       kEvDisabled = 0xE8;
// ID003: host commands and device statuses.
constexpr std::uint8_t kStatusRequest = 0x11, kStack1 = 0x41, kAck = 0x50, kSetInhibit = 0xC3,
                       kCurrencyAssign = 0x8A;
constexpr std::uint8_t kIdling = 0x11, kAccepting = 0x12, kEscrow = 0x13, kStacking = 0x14,
                       kVendValid = 0x15, kStacked = 0x16, kDisabled = 0x1A;

constexpr std::size_t kReplyLimit = 255;
/// The device's capture buffer: older records are lost when the host reads too slowly.
constexpr std::size_t kBacklogBytes = 4096;
/// The longest stretch of traffic made up at one read; a longer gap is skipped over.
constexpr std::uint32_t kMaxCatchUpMs = 10000;
/// The smallest record: header and a five-byte ID003 frame.
constexpr std::size_t kSmallestRecord = kRecordHeader + 5;

using Bytes = std::vector<std::uint8_t>;

// Both sides poll once a period, the host half a period after the device. Every answer comes
// before the other side's next command, so the records come out in time order.
constexpr TrafficModel::Timing kLineTiming{200, 4, {3, 10}, {5, 12}};
// Flood: as dense as it takes to fill a reply every 50 ms.
constexpr TrafficModel::Timing kFloodTiming{6, 1, {1, 2}, {1, 2}};

} // namespace

TrafficModel::TrafficModel(TrafficLevel level, bool strayBytes, std::uint32_t seed,
                           Clock::time_point start, std::uint32_t badCrcEvery)
    : m_level(level)
    , m_stray(strayBytes)
    , m_start(start)
    , m_rng(seed == 0 ? 1 : seed)
    , m_strayRng(seed ^ 0x5A5A5A5Au)
    , m_timing(level == TrafficLevel::Flood ? kFloodTiming : kLineTiming)
    , m_nextTargetMs(m_timing.period)
    , m_nextHostMs(m_timing.period + m_timing.period / 2)
    , m_nextScenarioMs(level == TrafficLevel::Flood ? 0 : 3000)
    , m_badCrcEvery(badCrcEvery)
{}

std::uint32_t TrafficModel::jitter(std::uint32_t low, std::uint32_t high)
{
    return low + static_cast<std::uint32_t>(m_rng() % (high - low + 1));
}

namespace {

/// The frame with the high byte of its CRC changed. An SSP frame is destuffed first and stuffed
/// again, so that the change never makes or breaks a 7F pair.
Bytes withBadCrc(Bytes frame)
{
    if (frame.size() < 3)
        return frame;
    if (frame[0] != 0x7F) {
        frame.back() ^= 0x01;
        return frame;
    }
    Bytes body;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        body.push_back(frame[i]);
        if (frame[i] == 0x7F && i + 1 < frame.size() && frame[i + 1] == 0x7F)
            ++i;
    }
    body.back() ^= 0x01;
    Bytes out{0x7F};
    for (const std::uint8_t byte : body) {
        out.push_back(byte);
        if (byte == 0x7F)
            out.push_back(0x7F);
    }
    return out;
}

} // namespace

void TrafficModel::push(std::uint8_t tag, std::uint32_t at, Bytes frame)
{
    if (m_badCrcEvery > 0 && ++m_frames % m_badCrcEvery == 0)
        frame = withBadCrc(std::move(frame));
    m_pendingBytes += kRecordHeader + frame.size();
    m_pending.push_back({tag, at, std::move(frame)});
}

void TrafficModel::startScenario(std::uint32_t at)
{
    const bool inhibit = m_scenario % 4 == 3;
    const auto channel = static_cast<std::uint8_t>(m_scenario % 8 + 1);
    ++m_scenario;
    if (inhibit) {
        m_targetScript = {{{kSspPoll}, {kSspOk}},
                          {{kSspDisable}, {kSspOk}},
                          {{kSspPoll}, {kSspOk, kEvDisabled}},
                          {{kSspPoll}, {kSspOk, kEvDisabled}},
                          {{kSspPoll}, {kSspOk, kEvDisabled}},
                          {{kSspEnable}, {kSspOk}}};
        m_hostScript = {{{kSetInhibit, 0x01}, {kSetInhibit, 0x01}},
                        {{kStatusRequest}, {kDisabled}},
                        {{kStatusRequest}, {kDisabled}},
                        {{kStatusRequest}, {kDisabled}},
                        {{kSetInhibit, 0x00}, {kSetInhibit, 0x00}}};
    } else {
        const auto escrowCode = static_cast<std::uint8_t>(0x60 + channel);
        m_targetScript = {{{kSspPoll}, {kSspOk, kEvRead, 0x00}},
                          {{kSspPoll}, {kSspOk, kEvRead, channel}},
                          {{kSspHold}, {kSspOk}},
                          {{kSspPoll}, {kSspOk, kEvStacking}},
                          {{kSspPoll}, {kSspOk, kEvCredit, channel}},
                          {{kSspPoll}, {kSspOk, kEvStacked}}};
        m_hostScript = {{{kStatusRequest}, {kAccepting}},
                        {{kStatusRequest}, {kEscrow, escrowCode}},
                        {{kStack1}, {kAck}},
                        {{kStatusRequest}, {kStacking}},
                        {{kStatusRequest}, {kVendValid}},
                        {{kAck}, {}},
                        {{kStatusRequest}, {kStacked}}};
    }
    m_nextScenarioMs = m_level == TrafficLevel::Flood ? at : at + jitter(5000, 7000);
}

void TrafficModel::targetStep(std::uint32_t at)
{
    if (m_level != TrafficLevel::Quiet && m_targetScript.empty() && m_hostScript.empty() &&
        at >= m_nextScenarioMs)
        startScenario(at);
    Step step{{kSspPoll}, {kSspOk}};
    if (!m_targetScript.empty()) {
        step = std::move(m_targetScript.front());
        m_targetScript.pop_front();
    }
    // A new command toggles the sequence bit; the validator answers with the same byte.
    m_sspSeq = !m_sspSeq;
    const std::uint8_t seq = m_sspSeq ? 0x80 : 0x00;
    push(kTagTargetCommand, at, sspFrame(seq, step.command));
    push(kTagTargetResponse, at + jitter(m_timing.sspDelay[0], m_timing.sspDelay[1]),
         sspFrame(seq, step.response));
}

void TrafficModel::hostStep(std::uint32_t at)
{
    Step step{{kStatusRequest}, {kIdling}};
    if (!m_hostScript.empty()) {
        step = std::move(m_hostScript.front());
        m_hostScript.pop_front();
    }
    const auto frameOf = [](const Bytes &bytes) {
        return id003Frame(bytes.front(), std::span(bytes).subspan(1));
    };
    push(kTagHostCommand, at, frameOf(step.command));
    if (!step.response.empty())
        push(kTagHostResponse, at + jitter(m_timing.id003Delay[0], m_timing.id003Delay[1]),
             frameOf(step.response));
}

void TrafficModel::generateUntil(std::uint32_t ms)
{
    if (ms > m_generatedMs + kMaxCatchUpMs) {
        const std::uint32_t skip = ms - kMaxCatchUpMs - m_generatedMs;
        m_nextTargetMs += skip;
        m_nextHostMs += skip;
        m_nextScenarioMs += skip;
    }
    while (std::min(m_nextTargetMs, m_nextHostMs) <= ms) {
        if (m_nextTargetMs <= m_nextHostMs) {
            targetStep(m_nextTargetMs + jitter(0, m_timing.stepJitter));
            m_nextTargetMs += m_timing.period;
        } else {
            hostStep(m_nextHostMs + jitter(0, m_timing.stepJitter));
            m_nextHostMs += m_timing.period;
        }
    }
    m_generatedMs = std::max(m_generatedMs, ms);
    while (m_pendingBytes > kBacklogBytes) {
        m_pendingBytes -= m_pending.front().size();
        m_pending.pop_front();
    }
}

std::vector<std::uint8_t> TrafficModel::strayBytes()
{
    static constexpr std::array<std::uint8_t, 5> kStray{0x00, 0x13, 0x7E, 0xFF, 0x01};
    Bytes bytes;
    if (m_stray && m_strayRng() % 4 == 0) {
        const auto count = m_strayRng() % 3 + 1;
        for (std::uint32_t i = 0; i < count; ++i)
            bytes.push_back(kStray[m_strayRng() % kStray.size()]);
    }
    return bytes;
}

std::vector<std::uint8_t> TrafficModel::nextReply(Clock::time_point now)
{
    const bool flood = m_level == TrafficLevel::Flood;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count();
    std::uint32_t limit = static_cast<std::uint32_t>(
        std::clamp<long long>(elapsed, 0, std::numeric_limits<std::uint32_t>::max() / 2));
    generateUntil(limit);
    Bytes reply;
    std::size_t lastRecordAt = kReplyLimit;
    TrafficRecord lastRecord;
    for (;;) {
        if (m_pending.empty() || m_pending.front().offsetMs > limit) {
            if (!flood)
                break;
            // A flood reply is filled even when that takes the traffic a little ahead of now.
            limit = std::numeric_limits<std::uint32_t>::max();
            if (m_pending.empty())
                generateUntil(m_generatedMs + m_timing.period);
            continue;
        }
        const Bytes stray = strayBytes();
        const TrafficRecord &record = m_pending.front();
        if (reply.size() + stray.size() + record.size() > kReplyLimit)
            break;
        reply.insert(reply.end(), stray.begin(), stray.end());
        lastRecordAt = reply.size();
        record.appendTo(reply);
        m_lastOffsetMs = std::max(m_lastOffsetMs, record.offsetMs);
        lastRecord = record;
        m_pendingBytes -= record.size();
        m_pending.pop_front();
    }
    if (flood)
        fillFlood(reply, lastRecordAt, lastRecord);
    return reply;
}

void TrafficModel::fillFlood(Bytes &reply, std::size_t lastRecordAt,
                             const TrafficRecord &lastRecord)
{
    if (reply.size() == kReplyLimit)
        return;
    // Too little room for any record: give the last one back and pad the larger gap instead.
    if (kReplyLimit - reply.size() < kSmallestRecord && lastRecordAt < reply.size()) {
        reply.resize(lastRecordAt);
        m_pendingBytes += lastRecord.size();
        m_pending.push_front(lastRecord);
    }
    const std::size_t room = kReplyLimit - reply.size();
    if (room < kSmallestRecord)
        return;
    // The padding is the device's answer to a currency assignment request: rows of code,
    // country, denomination and exponent, as long as the room asks for.
    Bytes rows(room - kSmallestRecord);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t row = i / 4 % 8;
        static constexpr std::array<std::uint8_t, 8> kDenoms{1, 2, 5, 10, 20, 50, 100, 200};
        const std::array<std::uint8_t, 4> cells{static_cast<std::uint8_t>(0x61 + row), 0x01,
                                                kDenoms[row], 0x00};
        rows[i] = cells[i % 4];
    }
    // Stamped with the last record's time: traffic generated ahead of it is still waiting for
    // the next reply, and the host side's times must not go back there.
    TrafficRecord padding{kTagHostResponse, m_lastOffsetMs, id003Frame(kCurrencyAssign, rows)};
    padding.appendTo(reply);
}

} // namespace xlt::sim
