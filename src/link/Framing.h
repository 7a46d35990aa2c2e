#pragma once

// The link's framing on the serial line (docs/link-protocol.md):
//
//   7F  SEQ  LEN  [STATUS]  DATA...  CRCL  CRCH
//
// - 7F starts every frame. Inside a frame every 7F byte after the start (SEQ to CRCH) is sent
//   twice, so a lone 7F always starts a new frame and aborts one in progress.
// - SEQ: bit 7 toggles with every new command; bit 0 is 0 in a command (host to device) and 1
//   in a reply; the other bits are 0. A reply carries the SEQ of its command with bit 0 set.
// - LEN: number of DATA bytes, 0 to 255.
// - STATUS: replies only, the result code the device reports (3 accepted, anything else
//   refused); it goes into ReplyStatus as it is.
// - CRC: CRC-16 (polynomial 0x8005, seed 0xFFFF) over SEQ..last DATA byte, unstuffed, low
//   byte first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace xlt::link::framing {

constexpr std::uint8_t kStart = 0x7F;
constexpr std::uint8_t kSeqToggle = 0x80;
constexpr std::uint8_t kSeqReply = 0x01;
/// The longest frame on the line: a reply of 255 DATA bytes with STATUS, every DATA byte and
/// both CRC bytes 7F and so doubled; SEQ is never 7F and LEN is FF: 1 + 1 + 1 + 2 * (1 + 255 + 2).
constexpr std::size_t kMaxFrameOnLine = 519;

/// The bytes on the line for a command (bit 0 of seq is cleared). Data beyond 255 bytes is not
/// sent: LEN cannot say more.
std::vector<std::uint8_t> encodeCommand(std::uint8_t seq, std::span<const std::uint8_t> data);
/// The bytes on the line for a reply (seq already has kSeqReply set).
std::vector<std::uint8_t> encodeReply(std::uint8_t seq, std::uint8_t status,
                                      std::span<const std::uint8_t> data);

/// A decoded frame. `status` is meaningful for replies only.
struct Frame
{
    std::uint8_t seq = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> data;
};

/// Reassembles frames fed one byte at a time. It never buffers more than one frame.
///
/// Resynchronisation: a 7F where SEQ is expected starts the frame again (SEQ is never 7F), so
/// any run of 7F bytes before a frame is harmless. A frame that fails its CRC may have been
/// noise that swallowed the start of a real frame as data (a stray "7F 01 05 03 7F" before a
/// reply makes the reply's own start byte look like a doubled 7F); its bytes after its start
/// byte are therefore read again, and a frame found in them counts. BadCrc is reported only
/// when nothing in them completes or is still going on.
class Decoder
{
public:
    enum class Result {
        Pending,  ///< nothing complete yet
        Complete, ///< frame() holds a frame whose CRC matched
        BadCrc,   ///< a complete frame failed its CRC (it is dropped)
        Malformed ///< a frame broke its own rules (lone 7F inside is not this: it restarts)
    };

    /// `replies` selects whether frames carry a STATUS byte.
    explicit Decoder(bool replies)
        : m_replies(replies)
    {}

    Result feed(std::uint8_t byte);
    /// For a frame that stopped part way (the line went quiet): reads its bytes after its start
    /// byte again, since noise with a long LEN can swallow a whole short reply. Complete when a
    /// frame is found in them (frame() holds it); otherwise Pending, and the decoder is idle.
    Result flush();
    /// True while a frame has started and is not complete.
    bool inFrame() const { return m_state != State::Idle; }
    const Frame &frame() const { return m_frame; }
    void reset();

private:
    enum class State { Idle, Seq, Len, Status, Data, CrcLow, CrcHigh };
    Result step(std::uint8_t byte);
    Result take(std::uint8_t byte);
    Result finish();
    /// After a bad CRC: reads the failed frame's bytes after its start byte again.
    Result rescan();
    void startFrame();
    /// Where DATA begins in m_covered: after SEQ, LEN and, in replies, STATUS.
    std::size_t dataOffset() const { return m_replies ? 3 : 2; }

    bool m_replies;
    State m_state = State::Idle;
    bool m_pendingStart = false; ///< a 7F inside a frame, waiting to see whether it is doubled
    std::uint8_t m_len = 0;
    std::uint16_t m_crcReceived = 0;
    std::vector<std::uint8_t> m_covered; ///< SEQ..DATA, for the CRC
    std::vector<std::uint8_t> m_raw;     ///< the frame as it came on the line, from its 7F
    std::vector<std::uint8_t> m_lastRaw; ///< m_raw of the frame that just failed its CRC
    Frame m_frame;
};

} // namespace xlt::link::framing
