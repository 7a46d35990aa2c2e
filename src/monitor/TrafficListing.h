#pragma once

#include "core/EventPump.h"
#include "link/XLTPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xlt::monitor {

/// The bytes before a captured record's frame: its tag, 4 bytes of time offset, frame length.
inline constexpr std::size_t kRecordHeaderSize = 6;

/// The record whose five lines were just added to a list, for lists that analyse traffic.
struct ListedRecord
{
    std::uint8_t tag = 0;
    std::uint32_t offsetMs = 0;
    std::span<const std::uint8_t> frame; ///< the frame bytes the reply holds
    bool complete = true;                ///< false when the reply ends inside the frame
};

/// An ordered list of text lines with an operation that selects its last line: the monitor's
/// list boxes in the window, a printing or recording list elsewhere. Lines are Latin-1 bytes.
class LineList
{
public:
    virtual ~LineList() = default;
    virtual std::size_t count() const = 0;
    virtual void clear() = 0;
    virtual void add(const std::string &line) = 0;
    virtual void selectLast() = 0;
    /// Called after the five lines of a record were added, before selectLast().
    virtual void recordDone(const ListedRecord &) {}
};

/// A text value shown to the user ("Detected Protocol:" labels).
class TextLabel
{
public:
    virtual ~TextLabel() = default;
    virtual void setText(const std::string &text) = 0;
};

/// The 256-byte working frame the decoders read; bytes past the captured frame are 0.
using WorkingFrame = std::array<std::uint8_t, 256>;

constexpr std::uint8_t kTagTargetRx = 0x55; ///< SSP response, target side
constexpr std::uint8_t kTagTargetTx = 0x35; ///< SSP command, target side
constexpr std::uint8_t kTagHostTx = 0xAA;   ///< ID003 host command, host side
constexpr std::uint8_t kTagHostRx = 0xCA;   ///< ID003 device response, host side
constexpr std::size_t kListCap = 30000;     ///< a list this long is emptied before a reply

/// Turns capture-read replies into the five-line blocks of both lists, sets the protocol
/// labels and counts packets per side.
class TrafficListing
{
public:
    TrafficListing(LineList &targetList, LineList &hostList, TextLabel &lblTarget,
                   TextLabel &lblHost, core::EventPump &pump);

    /// The lines one reply added to each side, in order: exactly what goes to the log files,
    /// even when a list was emptied while the reply was being listed.
    struct Added
    {
        std::vector<std::string> target;
        std::vector<std::string> host;
    };

    /// Lists every record of ReplyData[0..ReplyLength) and returns the lines added. Lets the
    /// pump run after each record. Never reads outside ReplyData or a working frame.
    Added ProcessCapture(const link::XLTPacket &packet);

    /// Sets both packet numbers to 0 (a run starts).
    void resetCounts();

    std::int32_t HostPacketCount = 0;
    std::int32_t TargetPacketCount = 0;

private:
    /// Writes the five-line block of the record at `position` to `list` (and to `out`) and
    /// returns the position after the record. The record must start with a listed tag and its
    /// six header bytes must lie in the reply; frame bytes past ReplyLength are not listed.
    std::size_t ListPacket(LineList &list, std::vector<std::string> &out,
                           const link::XLTPacket &packet, std::size_t position);

    LineList &m_target;
    LineList &m_host;
    TextLabel &m_lblTarget;
    TextLabel &m_lblHost;
    core::EventPump &m_pump;
};

/// The lines of a record as ListPacket makes them, for lists that make them on demand (a
/// capture read back): "Packet #N ---...", "Packet time offset: Nms", the hex line of the frame
/// bytes the reply holds ("XLT RX  7F 80 ..."), the decoded line (labels untouched), then " ".
/// Each appends its line to `out`.
void appendPacketNumberLine(std::string &out, std::int32_t number);
void appendTimeOffsetLine(std::string &out, std::uint32_t offsetMs);
void appendHexLine(std::string &out, std::uint8_t tag, std::span<const std::uint8_t> frame);
std::string decodedLine(std::uint8_t tag, std::span<const std::uint8_t> frame);

/// The decoded line of a working frame; sets lblTarget to "SSP" or lblHost to "PR01".
std::string DecodePacket(const WorkingFrame &frame, std::uint8_t tag, TextLabel &lblTarget,
                         TextLabel &lblHost);

} // namespace xlt::monitor
