#pragma once

#include "PlotView.h"
#include "monitor/TrafficAnalysis.h"

#include <array>
#include <span>

class QScatterSeries;
class QValueAxis;

namespace xlt::monitor {

/// Reply time (ms) against run time (s), one series per side and a red ring around each
/// record whose CRC failed (PlotSeries, plotPoints). Points are appended as records come,
/// never redrawn from the start; a series that reaches kMaxPoints drops its oldest quarter at
/// once, so the plot shows the newest 3000 to 4000 points of each series. Clicking a point
/// tells which (pointClicked). Where Qt Charts is not built, its place shows a line saying so
/// and takes no points (series() gives nullptr).
class ReplyTimePlot final : public PlotView
{
    Q_OBJECT
public:
    static constexpr int kMaxPoints = 4000;

    explicit ReplyTimePlot(QWidget *parent = nullptr);

    /// Adds the points of `records` (a reply's, in time order).
    void addRecords(std::span<const TrafficRecord> records);
    /// Shows the points of `facts` (every record of a capture, in time order) at once: each
    /// series its newest kMaxPoints points.
    void setRecords(std::span<const RecordFacts> facts);
    void clear();
    QScatterSeries *series(PlotSeries which) const
    {
        return m_series[static_cast<std::size_t>(which)];
    }

signals:
    /// A point was clicked: the record it stands for is the one of `series` at `seconds`
    /// (isPlotRecord).
    void pointClicked(xlt::monitor::PlotSeries series, double seconds);

private:
    void fitAxes();

    std::array<QScatterSeries *, 3> m_series{};
    QValueAxis *m_time = nullptr;
    QValueAxis *m_ms = nullptr;
    double m_top = 0; ///< the largest reply time since the plot was last emptied
};

} // namespace xlt::monitor
