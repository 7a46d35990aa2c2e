#pragma once

#include "monitor/TrafficListing.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace xlt::cli {

/// Writes prefix + line + newline to stdout in one write (texts are Latin-1 bytes, printed as
/// they are).
inline void printLine(std::string_view prefix, std::string_view line)
{
    std::string text;
    text.reserve(prefix.size() + line.size() + 1);
    text.append(prefix).append(line).push_back('\n');
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

private:
    std::string_view m_prefix;
    std::size_t m_count = 0;
};

/// A label that keeps its text, printed when the run ends.
class ValueLabel final : public monitor::TextLabel
{
public:
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

} // namespace xlt::cli
