#pragma once

// One command and its reply on an open serial line, whatever carries the bytes: the Qt serial
// link (Linux) and the Win32 one (Windows) share it, so both frame a command, wait for its
// reply and judge it alike (docs/link-protocol.md).

#include "PortSource.h"
#include "XLTPacket.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace xlt::link {

/// The port a link opens for `portNumber`: the listed port named "COM<n>", or a record with that
/// name alone (no device path) when the source does not list it.
PortRecord portToOpen(PortSource &ports, std::uint16_t portNumber);

/// The bytes of an open line. No call waits longer than it is told.
class LineIo
{
public:
    virtual ~LineIo() = default;
    /// Drops the bytes received and not read yet.
    virtual void dropInput() = 0;
    /// Sends every byte, waiting up to `limit` for them to leave. False when the line failed.
    virtual bool send(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) = 0;
    /// Waits up to `wait` for bytes and appends those that came to `bytes` (none when the line
    /// stayed quiet). False when the line failed (the device went away).
    virtual bool receive(std::vector<std::uint8_t> &bytes, std::chrono::milliseconds wait) = 0;
    virtual void close() = 0;
};

/// The exchanges on one line: the sequence bit that tells a reply from a late one, the reply
/// time-out, and the pause that ends a broken frame.
class LineExchange
{
public:
    /// Once a reply frame has started, a pause this long (plus 20 character times at the line
    /// speed) means the rest is not coming: the frame is reported broken at once instead of
    /// after the whole reply time-out.
    static constexpr std::chrono::milliseconds kInterByteGap{100};
    /// The longest a wait goes without asking whether the operation still wants the reply.
    static constexpr std::chrono::milliseconds kInterruptSlice{20};

    /// After an open: the reply time-out and the line speed.
    void configure(std::uint32_t timeoutMs, std::uint32_t baudRate);
    std::chrono::milliseconds timeout() const { return m_timeout; }
    std::chrono::milliseconds gap() const { return m_gap; }

    /// Drops stale input, sends the command in `packet` with the next sequence bit and waits
    /// up to the time-out for the reply with that bit. The result code (ReplyStatusCode); on
    /// ReplyOk the reply is in the record. A failed line is closed (PortError); so is one whose
    /// wait `interrupted` ends (CommandTimeOut).
    std::uint8_t run(LineIo &line, XLTPacket &packet, const std::function<bool()> &interrupted);

private:
    std::uint8_t awaitReply(LineIo &line, XLTPacket &packet,
                            const std::function<bool()> &interrupted);

    std::uint8_t m_seq = 0;
    std::chrono::milliseconds m_timeout{kTimeoutMs};
    std::chrono::milliseconds m_gap{kInterByteGap};
};

} // namespace xlt::link
