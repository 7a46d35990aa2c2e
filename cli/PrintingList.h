#pragma once

#include "Printable.h"
#include "monitor/TrafficAnalysis.h"
#include "monitor/TrafficListing.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace xlt::cli {

/// Writes prefix + line + newline to stdout in one write. `line` is a text made from the
/// device's bytes (a listing line, a label): it is printed as printable() makes it.
inline void printLine(std::string_view prefix, const std::string &line)
{
    const std::string shown = printable(line);
    std::string text;
    text.reserve(prefix.size() + shown.size() + 1);
    text.append(prefix).append(shown).push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
}

/// A monitor list that prints every line as it is added, behind a prefix such as "tgt|";
/// clearing only forgets the count.
class PrintingList final : public monitor::LineList
{
public:
    explicit PrintingList(std::string_view prefix)
        : m_prefix(prefix)
    {}
    std::size_t count() const override { return m_count; }
    void clear() override { m_count = 0; }
    void add(const std::string &line) override
    {
        printLine(m_prefix, line);
        ++m_count;
    }
    void selectLast() override {}

    /// With `side` ("target" or "host") set, each record's lines are followed by a line
    /// "check|<side>|crc=good|bad|unchecked" with " reply=<n>ms" for a reply that answers a
    /// request of this side.
    void checkRecords(std::string_view side) { m_checkSide = side; }
    void recordDone(const monitor::ListedRecord &record) override
    {
        if (m_checkSide.empty())
            return;
        const monitor::CrcVerdict crc =
            record.complete ? monitor::checkFrameCrc(record.frame) : monitor::CrcVerdict::Unchecked;
        const auto reply = m_summary.take(record.tag, record.offsetMs, crc);
        std::string line = "crc=";
        line += crc == monitor::CrcVerdict::Good  ? "good"
                : crc == monitor::CrcVerdict::Bad ? "bad"
                                                  : "unchecked";
        if (reply)
            line += " reply=" + std::to_string(*reply) + "ms";
        printLine("check|" + std::string(m_checkSide) + "|", line);
    }

private:
    std::string_view m_prefix;
    std::size_t m_count = 0;
    std::string_view m_checkSide;
    monitor::SideSummary m_summary;
};

/// A label that keeps its text, printed when the run ends.
class ValueLabel final : public monitor::TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

} // namespace xlt::cli
