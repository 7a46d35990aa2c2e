#pragma once

#include "CaptureFile.h"
#include "RecordSource.h"
#include "TrafficAnalysis.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace xlt::monitor {

/// A capture read back, listed again as a run would have listed it, without a text per line:
/// each record is its place in the capture's bytes, its packet number and its facts (CRC,
/// reply time); only the decoded lines are kept, as Latin-1 bytes one after the other. The
/// other lines are made from the bytes when a list asks for them. The three lists (target,
/// host, timeline) are record numbers: the timeline takes each reply's records of both sides in
/// time order, as the monitor window does. No cap: every reply of the capture is listed.
class CaptureIndex
{
public:
    enum class List { Target, Host, Timeline };

    /// Lists the first `replies` replies of `capture` (all of them by default).
    explicit CaptureIndex(std::shared_ptr<const Capture> capture,
                          std::size_t replies = std::numeric_limits<std::size_t>::max());

    const Capture &capture() const { return *m_capture; }
    /// Replies listed.
    std::size_t replies() const { return m_replies; }
    std::size_t records() const { return m_records.size(); }
    /// The records of `list`, in its order.
    const std::vector<std::uint32_t> &list(List which) const;
    /// The figures of each side, as under the monitor window's lists.
    const SideSummary &summary(bool target) const
    {
        return target ? m_targetSummary : m_hostSummary;
    }
    /// The "Detected Protocol:" labels: "SSP", "PR01", or empty when no frame showed it.
    const std::string &targetProtocol() const { return m_targetProtocol; }
    const std::string &hostProtocol() const { return m_hostProtocol; }

    RecordFacts facts(std::uint32_t record) const;
    /// Line `k` (0 to 4) of a record, as the monitor lists it; the timeline leads the packet
    /// line with the side.
    void appendLine(std::string &out, std::uint32_t record, std::size_t k, bool timeline) const;
    /// The characters of the longest line.
    std::size_t widestLine() const { return m_widest; }

private:
    struct Entry
    {
        std::uint32_t at;    ///< the record's tag in the capture's bytes
        std::uint32_t text;  ///< its decoded line's start in m_text
        std::int32_t number; ///< its packet number
        std::uint32_t replyMs;
        std::uint8_t listed; ///< frame bytes the reply holds
        CrcVerdict crc;
        bool hasReply;
    };

    std::shared_ptr<const Capture> m_capture;
    std::size_t m_replies = 0;
    std::vector<Entry> m_records;
    std::string m_text; ///< the decoded lines, one after the other
    std::vector<std::uint32_t> m_target;
    std::vector<std::uint32_t> m_host;
    std::vector<std::uint32_t> m_timeline;
    SideSummary m_targetSummary;
    SideSummary m_hostSummary;
    std::string m_targetProtocol;
    std::string m_hostProtocol;
    std::size_t m_widest = 0;
};

/// Opening a capture: reads `path` (readCaptureFile), then lists its first `firstReplies`
/// replies (a first screen: `indexed(index, false)`) and then all of them (`indexed(index,
/// true)`); or tells why the file was refused (`refused`, the reader's reason). Runs on the
/// caller's thread, so a window calls it on a thread of its own; `stopped` is asked between
/// the steps (the window closed).
struct CaptureOpening
{
    std::function<void(std::shared_ptr<const CaptureIndex> index, bool whole)> indexed;
    std::function<void(const std::string &reason)> refused;
    std::function<bool()> stopped = [] { return false; };
};
constexpr std::size_t kFirstScreenReplies = 1000;
void openCapture(const std::filesystem::path &path, const CaptureOpening &opening,
                 std::size_t firstReplies = kFirstScreenReplies);

/// One list of an index as a list box's source.
std::shared_ptr<const RecordSource> captureSource(std::shared_ptr<const CaptureIndex> index,
                                                  CaptureIndex::List which);

/// The lines of a capture's header as the analysis view shows them: started, port and node,
/// identity, program; then "N records" and, where so, ", 1 cut line ignored".
QString captureHeaderLines(const CaptureIndex &index);

} // namespace xlt::monitor
