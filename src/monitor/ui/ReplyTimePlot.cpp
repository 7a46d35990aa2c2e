#include "ReplyTimePlot.h"

#include <QChart>
#include <QImage>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <QtMath>
#include <algorithm>
#include <memory>

namespace xlt::monitor {

namespace {

/// A round marker of `size` pixels: a filled disc, or a ring.
QImage markerImage(const QColor &colour, qreal size, bool ring)
{
    const int pixels = qCeil(size);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, ring ? 2 : 1));
    painter.setBrush(ring ? QBrush(Qt::NoBrush) : QBrush(colour));
    painter.drawEllipse(QRectF(1, 1, pixels - 2, pixels - 2));
    return image;
}

} // namespace

ReplyTimePlot::ReplyTimePlot(QWidget *parent)
    : PlotView(parent)
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
        // Drawn as one image per point rather than a graphics item per point: thousands of
        // points stay cheap to lay out and paint.
        series->setLightMarker(
            markerImage(kind.colour, kind.size, kind.which == PlotSeries::CrcFailures));
        chart->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(m_ms);
        connect(series, &QScatterSeries::clicked, this,
                [this, which = kind.which](const QPointF &point) {
                    emit pointClicked(which, point.x());
                });
        m_series[static_cast<std::size_t>(kind.which)] = series;
    }
    // setChart() gives up the view's own first chart without deleting it.
    const std::unique_ptr<QChart> first(this->chart());
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    clear();
}

void ReplyTimePlot::addRecords(std::span<const TrafficRecord> records)
{
    // A series lays out all its points again at each change: one change per series and reply.
    std::array<QList<QPointF>, 3> added;
    for (const TrafficRecord &record : records) {
        for (const PlotPoint &point : plotPoints(record.facts)) {
            added[static_cast<std::size_t>(point.series)].append({point.seconds, point.ms});
            m_top = std::max(m_top, point.ms);
        }
    }
    bool any = false;
    for (std::size_t k = 0; k < added.size(); ++k) {
        if (added[k].isEmpty())
            continue;
        QList<QPointF> points = m_series[k]->points();
        // A full series drops its oldest quarter at once.
        while (points.size() + added[k].size() > kMaxPoints && !points.isEmpty())
            points.remove(0, std::min<qsizetype>(points.size(), kMaxPoints / 4));
        points += added[k];
        if (points.size() > kMaxPoints)
            points.remove(0, points.size() - kMaxPoints);
        m_series[k]->replace(points);
        any = true;
    }
    if (any)
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
