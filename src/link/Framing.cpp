#include "Framing.h"

#include "core/Crc.h"

#include <algorithm>
#include <utility>

namespace xlt::link::framing {

namespace {

void putStuffed(std::vector<std::uint8_t> &out, std::uint8_t byte)
{
    out.push_back(byte);
    if (byte == kStart)
        out.push_back(byte);
}

std::vector<std::uint8_t> encode(std::uint8_t seq, const std::uint8_t *status,
                                 std::span<const std::uint8_t> data)
{
    // LEN is one byte: a caller's longer buffer is cut to what the frame can say it carries.
    const auto body = data.first(std::min<std::size_t>(data.size(), 255));
    std::vector<std::uint8_t> covered;
    covered.reserve(body.size() + 3);
    covered.push_back(seq);
    covered.push_back(static_cast<std::uint8_t>(body.size()));
    if (status)
        covered.push_back(*status);
    covered.insert(covered.end(), body.begin(), body.end());
    const std::uint16_t crc = core::crc16Ssp(covered);

    std::vector<std::uint8_t> out;
    out.reserve(1 + 2 * (covered.size() + 2));
    out.push_back(kStart);
    for (std::uint8_t byte : covered)
        putStuffed(out, byte);
    putStuffed(out, static_cast<std::uint8_t>(crc & 0xFF));
    putStuffed(out, static_cast<std::uint8_t>(crc >> 8));
    return out;
}

} // namespace

std::vector<std::uint8_t> encodeCommand(std::uint8_t seq, std::span<const std::uint8_t> data)
{
    return encode(static_cast<std::uint8_t>(seq & ~kSeqReply), nullptr, data);
}

std::vector<std::uint8_t> encodeReply(std::uint8_t seq, std::uint8_t status,
                                      std::span<const std::uint8_t> data)
{
    return encode(static_cast<std::uint8_t>(seq | kSeqReply), &status, data);
}

void Decoder::reset()
{
    m_state = State::Idle;
    m_pendingStart = false;
    m_len = 0;
    m_crcReceived = 0;
    m_covered.clear();
    m_raw.clear();
}

void Decoder::startFrame()
{
    reset();
    m_state = State::Seq;
    m_raw.push_back(kStart);
}

Decoder::Result Decoder::feed(std::uint8_t byte)
{
    const Result result = step(byte);
    return result == Result::BadCrc ? rescan() : result;
}

Decoder::Result Decoder::step(std::uint8_t byte)
{
    if (m_state == State::Idle) {
        if (byte == kStart)
            startFrame();
        return Result::Pending; // anything else between frames is noise
    }
    if (m_state == State::Seq && byte == kStart) {
        // SEQ is never 7F: this 7F starts the frame again (noise such as "7F 7F" before it).
        startFrame();
        return Result::Pending;
    }
    m_raw.push_back(byte);
    if (m_pendingStart) {
        m_pendingStart = false;
        if (byte != kStart) {
            // The 7F before this byte stood alone: it starts a new frame, and this byte is
            // that frame's SEQ.
            startFrame();
            m_raw.push_back(byte);
            return take(byte);
        }
        return take(kStart);
    }
    if (byte == kStart) {
        m_pendingStart = true;
        return Result::Pending;
    }
    return take(byte);
}

Decoder::Result Decoder::flush()
{
    while (inFrame()) {
        m_lastRaw = std::exchange(m_raw, {});
        if (rescan() == Result::Complete)
            return Result::Complete;
    }
    return Result::Pending;
}

Decoder::Result Decoder::rescan()
{
    // Each round reads a strictly shorter tail than the one before (the failed frame's bytes
    // after its start byte, then whatever was left), so this ends within one frame's bytes.
    std::vector<std::uint8_t> again = std::move(m_lastRaw);
    std::size_t next = 1;
    reset();
    while (next < again.size()) {
        const Result result = step(again[next++]);
        if (result == Result::Complete)
            return result; // bytes after a complete frame are dropped, like any after a reply
        if (result == Result::BadCrc) {
            std::vector<std::uint8_t> tail = std::move(m_lastRaw);
            tail.insert(tail.end(), again.begin() + static_cast<std::ptrdiff_t>(next), again.end());
            again = std::move(tail);
            next = 1;
            reset();
        }
    }
    return inFrame() ? Result::Pending : Result::BadCrc;
}

Decoder::Result Decoder::take(std::uint8_t byte)
{
    switch (m_state) {
    case State::Idle:
        break;
    case State::Seq: {
        const bool replyBit = (byte & kSeqReply) != 0;
        if ((byte & ~(kSeqToggle | kSeqReply)) != 0 || replyBit != m_replies) {
            reset();
            return Result::Malformed;
        }
        m_covered.push_back(byte);
        m_state = State::Len;
        return Result::Pending;
    }
    case State::Len:
        m_covered.push_back(byte);
        m_len = byte;
        m_state = m_replies ? State::Status : (m_len ? State::Data : State::CrcLow);
        return Result::Pending;
    case State::Status:
        m_covered.push_back(byte);
        m_state = m_len ? State::Data : State::CrcLow;
        return Result::Pending;
    case State::Data:
        m_covered.push_back(byte);
        if (m_covered.size() == dataOffset() + m_len)
            m_state = State::CrcLow;
        return Result::Pending;
    case State::CrcLow:
        m_crcReceived = byte;
        m_state = State::CrcHigh;
        return Result::Pending;
    case State::CrcHigh:
        m_crcReceived = static_cast<std::uint16_t>(m_crcReceived | (byte << 8));
        return finish();
    }
    return Result::Pending;
}

Decoder::Result Decoder::finish()
{
    const bool good = core::crc16Ssp(m_covered) == m_crcReceived;
    if (!good)
        m_lastRaw = std::move(m_raw);
    if (good) {
        m_frame.seq = m_covered[0];
        m_frame.status = m_replies ? m_covered[2] : 0;
        m_frame.data.assign(m_covered.begin() + static_cast<std::ptrdiff_t>(dataOffset()),
                            m_covered.end());
    }
    reset();
    return good ? Result::Complete : Result::BadCrc;
}

} // namespace xlt::link::framing
