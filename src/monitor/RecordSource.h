#pragma once

#include "TrafficAnalysis.h"

#include <QString>
#include <cstddef>
#include <vector>

namespace xlt::monitor {

/// The records of a list whose lines are made when they are asked for (a capture read back),
/// so that a list of a million records holds no text per line. A list box asks it for the
/// lines of the rows in view only, and for a record's verdict when its filter changes.
class RecordSource
{
public:
    virtual ~RecordSource() = default;
    virtual std::size_t recordCount() const = 0;
    virtual RecordFacts facts(std::size_t record) const = 0;
    virtual std::size_t lineCount(std::size_t record) const = 0;
    virtual QString line(std::size_t record, std::size_t k) const = 0;
    /// Which records `filter` shows, one flag per record; a record's lines are made only when
    /// a text term needs them.
    virtual std::vector<char> shownBy(const RecordFilter &filter) const = 0;
    /// The characters of the longest line (the lists use a fixed-width font).
    virtual std::size_t widestLine() const = 0;
};

} // namespace xlt::monitor
