#include "ReplyTimePlot.h"

#include <QChart>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>

namespace xlt::monitor {

ReplyTimePlot::ReplyTimePlot(QWidget *parent)
    : QChartView(parent)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignRight);
    m_time = new QValueAxis(chart);
    m_time->setTitleText(QStringLiteral("Run time (s)"));
    m_time->setLabelFormat(QStringLiteral("%.0f"));
    m_ms = new QValueAxis(chart);
    m_ms->setTitleText(QStringLiteral("Reply (ms)"));
    m_ms->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(m_time, Qt::AlignBottom);
    chart->addAxis(m_ms, Qt::AlignLeft);
    const struct
    {
        PlotSeries which;
        const char *name;
        QColor colour;
        qreal size;
    } kinds[] = {{PlotSeries::Target, "Target", QColor(30, 90, 200), 7},
                 {PlotSeries::Host, "Host", QColor(20, 150, 60), 7},
                 {PlotSeries::CrcFailures, "CRC failures", QColor(220, 0, 0), 13}};
    for (const auto &kind : kinds) {
        auto *series = new QScatterSeries(chart);
        series->setName(QString::fromLatin1(kind.name));
        series->setMarkerSize(kind.size);
        series->setPen(QPen(kind.colour, kind.which == PlotSeries::CrcFailures ? 2 : 1));
        series->setBrush(kind.which == PlotSeries::CrcFailures ? QBrush(Qt::NoBrush)
                                                               : QBrush(kind.colour));
        chart->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(m_ms);
        connect(series, &QScatterSeries::clicked, this,
                [this, which = kind.which](const QPointF &point) {
                    emit pointClicked(which, point.x());
                });
        m_series[static_cast<std::size_t>(kind.which)] = series;
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    clear();
}

void ReplyTimePlot::addRecords(std::span<const TrafficRecord> records)
{
    bool added = false;
    for (const TrafficRecord &record : records) {
        for (const PlotPoint &point : plotPoints(record.facts)) {
            QScatterSeries *to = series(point.series);
            if (to->count() >= kMaxPoints)
                to->removePoints(0, kMaxPoints / 4);
            to->append(point.seconds, point.ms);
            m_top = std::max(m_top, point.ms);
            added = true;
        }
    }
    if (added)
        fitAxes();
}

void ReplyTimePlot::setRecords(std::span<const RecordFacts> facts)
{
    // Appending point by point costs a series a pass over its points each time.
    std::array<QList<QPointF>, 3> points;
    for (std::size_t k = facts.size(); k-- > 0;) {
        for (const PlotPoint &point : plotPoints(facts[k])) {
            QList<QPointF> &to = points[static_cast<std::size_t>(point.series)];
            if (to.size() < kMaxPoints)
                to.append({point.seconds, point.ms});
        }
    }
    m_top = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        std::reverse(points[k].begin(), points[k].end());
        for (const QPointF &point : points[k])
            m_top = std::max(m_top, point.y());
        m_series[k]->replace(points[k]);
    }
    fitAxes();
}

void ReplyTimePlot::fitAxes()
{
    // The axes follow the points: from the oldest point kept to the newest.
    double first = -1;
    double last = 0;
    for (const QScatterSeries *each : m_series) {
        if (each->count() == 0)
            continue;
        const double from = each->at(0).x();
        first = first < 0 ? from : std::min(first, from);
        last = std::max(last, each->at(each->count() - 1).x());
    }
    m_time->setRange(std::max(0.0, first), std::max(last, first + 1));
    m_ms->setRange(0, std::max(10.0, m_top * 1.1));
}

void ReplyTimePlot::clear()
{
    for (QScatterSeries *each : m_series)
        each->clear();
    m_top = 0;
    m_time->setRange(0, 10);
    m_ms->setRange(0, 10);
}

} // namespace xlt::monitor
