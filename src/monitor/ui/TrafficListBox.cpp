#include "TrafficListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace xlt::monitor {

namespace {
constexpr int kMargin = 3; ///< pixels left of the text
}

TrafficListBox::TrafficListBox(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    updateScrollBars();
}

void TrafficListBox::append(const QString &text)
{
    m_lines.push_back(text);
    // Measuring each line once keeps the horizontal range right without a pass over the list.
    m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text) + 2 * kMargin);
    updateScrollBars();
    viewport()->update();
}

void TrafficListBox::clear()
{
    std::vector<QString>().swap(m_lines);
    m_current = -1;
    m_widest = 0;
    updateScrollBars();
    viewport()->update();
}

void TrafficListBox::setCurrentRow(int row)
{
    if (m_lines.empty())
        return;
    m_current = std::clamp(row, 0, count() - 1);
    ensureVisible(m_current);
    viewport()->update();
}

QSize TrafficListBox::sizeHint() const
{
    return {256, 192};
}

int TrafficListBox::rowHeight() const
{
    return fontMetrics().height() + 2;
}

int TrafficListBox::visibleRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

void TrafficListBox::updateScrollBars()
{
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, count() - visibleRows()));
    vertical->setPageStep(visibleRows());
    vertical->setSingleStep(1);
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, m_widest - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

void TrafficListBox::ensureVisible(int row)
{
    QScrollBar *vertical = verticalScrollBar();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + visibleRows())
        vertical->setValue(row - visibleRows() + 1);
}

void TrafficListBox::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int height = rowHeight();
    const int first = verticalScrollBar()->value();
    const int last = std::min(count(), first + viewport()->height() / height + 1);
    const int x = kMargin - horizontalScrollBar()->value();
    const int width = std::max(m_widest, viewport()->width() + horizontalScrollBar()->value());
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    for (int row = first; row < last; ++row) {
        const QRect rect(0, (row - first) * height, viewport()->width(), height);
        if (row == m_current) {
            painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(group, QPalette::Text));
        }
        painter.drawText(QRect(x, rect.y(), width, height), Qt::AlignLeft | Qt::AlignVCenter,
                         line(row));
    }
}

void TrafficListBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TrafficListBox::mousePressEvent(QMouseEvent *event)
{
    const int row = verticalScrollBar()->value() + event->position().toPoint().y() / rowHeight();
    if (row < count())
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void TrafficListBox::keyPressEvent(QKeyEvent *event)
{
    const int page = visibleRows();
    int row = m_current;
    switch (event->key()) {
    case Qt::Key_Up:
        row -= 1;
        break;
    case Qt::Key_Down:
        row += 1;
        break;
    case Qt::Key_PageUp:
        row -= page;
        break;
    case Qt::Key_PageDown:
        row += page;
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = count() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    setCurrentRow(row);
    event->accept();
}

void TrafficListBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_widest = 0;
        for (const QString &text : m_lines)
            m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text) + 2 * kMargin);
        updateScrollBars();
    }
}

} // namespace xlt::monitor
