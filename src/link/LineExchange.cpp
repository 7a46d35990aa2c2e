#include "LineExchange.h"

#include "Framing.h"

#include <algorithm>
#include <optional>
#include <string>

namespace xlt::link {

PortRecord portToOpen(PortSource &ports, std::uint16_t portNumber)
{
    const std::string name = "COM" + std::to_string(portNumber);
    for (PortRecord &listed : ports.ports()) {
        if (listed.portName == name)
            return std::move(listed);
    }
    return {{}, name, {}};
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// The reply's result code when `frame` is the reply to the command (SEQ `expected`).
std::optional<std::uint8_t> deliver(const framing::Frame &frame, std::uint8_t expected,
                                    XLTPacket &packet)
{
    if (frame.seq != expected)
        return std::nullopt; // a late reply to an earlier command
    if (frame.status == ReplyOk) {
        packet.ReplyLength = static_cast<std::uint8_t>(frame.data.size());
        std::copy(frame.data.begin(), frame.data.end(), packet.ReplyData);
    }
    return frame.status;
}

/// Feeds received bytes to the decoder: the result code once the reply is complete.
std::optional<std::uint8_t> take(framing::Decoder &decoder, std::span<const std::uint8_t> bytes,
                                 std::uint8_t expected, XLTPacket &packet)
{
    using Result = framing::Decoder::Result;
    for (const std::uint8_t byte : bytes) {
        const Result result = decoder.feed(byte);
        if (result == Result::BadCrc)
            return PacketError;
        // Malformed: a 7F in noise without a possible header after it, not a reply.
        if (result != Result::Complete)
            continue;
        if (const auto status = deliver(decoder.frame(), expected, packet))
            return status;
    }
    return std::nullopt;
}

} // namespace

void LineExchange::configure(std::uint32_t timeoutMs, std::uint32_t baudRate)
{
    const std::uint32_t baud = std::max<std::uint32_t>(baudRate, 1);
    m_timeout = milliseconds(timeoutMs);
    m_gap = kInterByteGap + milliseconds(20ull * 10 * 1000 / baud);
}

std::uint8_t LineExchange::run(LineIo &line, XLTPacket &packet,
                               const std::function<bool()> &interrupted)
{
    // A reply that came late for an earlier command must not be taken for this one: drop
    // what is waiting, and tag the command so that a stale reply still on its way is ignored.
    line.dropInput();
    m_seq = static_cast<std::uint8_t>(m_seq ^ framing::kSeqToggle);
    const auto frame = framing::encodeCommand(
        m_seq, std::span<const std::uint8_t>(packet.CommandData, packet.CommandLength));
    if (!line.send(frame, m_timeout)) {
        line.close();
        return PortError;
    }
    return awaitReply(line, packet, interrupted);
}

std::uint8_t LineExchange::awaitReply(LineIo &line, XLTPacket &packet,
                                      const std::function<bool()> &interrupted)
{
    framing::Decoder decoder(true);
    const auto deadline = Clock::now() + m_timeout;
    const auto expected = static_cast<std::uint8_t>(m_seq | framing::kSeqReply);
    auto lastBytes = Clock::now();
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            return CommandTimeOut;
        if (interrupted && interrupted()) {
            // The operation's owner has gone: nobody wants the reply, and the port is freed.
            line.close();
            return CommandTimeOut;
        }
        const bool midFrame = decoder.inFrame();
        auto until = midFrame ? std::min(deadline, lastBytes + m_gap) : deadline;
        // Waits in short slices, so that an interrupt is noticed within one.
        until = std::min(until, now + kInterruptSlice);
        bytes.clear();
        if (!line.receive(bytes, std::chrono::duration_cast<milliseconds>(until - now) +
                                     milliseconds(1))) {
            // The device is gone or the line failed: the next send reports a closed port.
            line.close();
            return PortError;
        }
        if (bytes.empty()) {
            const auto after = Clock::now();
            if (midFrame && after >= lastBytes + m_gap && after < deadline) {
                // The frame stopped part way: its length was wrong, or it was noise that took
                // the reply's start for data; then the reply is still in its bytes.
                if (decoder.flush() == framing::Decoder::Result::Complete) {
                    if (const auto status = deliver(decoder.frame(), expected, packet))
                        return *status;
                }
                return PacketError;
            }
            continue;
        }
        lastBytes = Clock::now();
        if (const auto status = take(decoder, bytes, expected, packet))
            return *status;
    }
}

} // namespace xlt::link
