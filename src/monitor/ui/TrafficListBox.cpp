#include "TrafficListBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

namespace xlt::monitor {

namespace {
constexpr int kMargin = 3; ///< pixels left of the text
const QColor kMarkedBackground(255, 205, 205);
constexpr std::size_t kBatch = 4096; ///< records handed to an export at a time
} // namespace

TrafficListBox::TrafficListBox(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Only the user's own scrolling triggers actions: scrolling up leaves the newest rows.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        if (!m_scrolling && m_follow)
            userMoved();
    });
    updateScrollBars();
}

void TrafficListBox::append(const QString &line)
{
    appendRecord(QStringList{line});
}

QString TrafficListBox::line(int index) const
{
    if (!m_source)
        return m_lines[static_cast<std::size_t>(index)];
    const int record = recordOfLine(index);
    const Record &held = m_records[static_cast<std::size_t>(record)];
    return m_source->line(static_cast<std::size_t>(record),
                          static_cast<std::size_t>(index - held.first));
}

void TrafficListBox::setSource(std::shared_ptr<const RecordSource> source)
{
    const bool extends = m_source && source && source->recordCount() >= m_records.size();
    if (!extends) {
        clear();
        m_source = std::move(source);
        if (!m_source)
            return;
    } else {
        m_source = std::move(source);
    }
    const std::size_t records = m_source->recordCount();
    m_records.reserve(records);
    for (std::size_t k = m_records.size(); k < records; ++k) {
        const int lines = static_cast<int>(m_source->lineCount(k));
        m_records.push_back({m_sourceLines, lines, m_source->facts(k)});
        m_sourceLines += lines;
        m_trafficRecords += m_records.back().facts.traffic() ? 1 : 0;
    }
    m_selected.resize(static_cast<std::size_t>(m_sourceLines), 0);
    // The lists use a fixed-width font: the longest line is the widest.
    m_widest = fontMetrics().horizontalAdvance(
                   QString(static_cast<qsizetype>(m_source->widestLine()), QLatin1Char('M'))) +
               2 * kMargin;
    rebuildRows();
}

void TrafficListBox::appendRecord(const QStringList &lines, const RecordFacts &facts)
{
    if (lines.isEmpty())
        return;
    if (m_source)
        clear();
    const int first = count();
    m_records.push_back({first, static_cast<int>(lines.size()), facts});
    m_trafficRecords += facts.traffic() ? 1 : 0;
    for (const QString &text : lines) {
        m_lines.push_back(text);
        m_selected.push_back(0);
        // Measuring each line once keeps the horizontal range right without a pass over the list.
        m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text) + 2 * kMargin);
    }
    if (!m_filter.empty() && recordShown(m_records.back())) {
        for (int k = first; k < count(); ++k)
            m_rows.push_back(k);
        m_shownTrafficRecords += facts.traffic() ? 1 : 0;
    }
    updateScrollBars();
    viewport()->update();
}

void TrafficListBox::clear()
{
    std::vector<QString>().swap(m_lines);
    m_source.reset();
    m_sourceLines = 0;
    std::vector<Record>().swap(m_records);
    std::vector<char>().swap(m_selected);
    std::vector<int>().swap(m_rows);
    m_trafficRecords = 0;
    m_shownTrafficRecords = 0;
    m_current = -1;
    m_anchor = -1;
    m_singleSelection = true;
    m_widest = 0;
    updateScrollBars();
    viewport()->update();
}

int TrafficListBox::rowCount() const
{
    return m_filter.empty() ? count() : static_cast<int>(m_rows.size());
}

int TrafficListBox::lineOf(int row) const
{
    return m_filter.empty() ? row : m_rows[static_cast<std::size_t>(row)];
}

int TrafficListBox::rowOfLine(int line) const
{
    if (line < 0 || m_filter.empty())
        return line;
    const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), line);
    return at != m_rows.end() && *at == line ? static_cast<int>(at - m_rows.begin()) : -1;
}

int TrafficListBox::recordOfLine(int line) const
{
    const auto at = std::upper_bound(m_records.begin(), m_records.end(), line,
                                     [](int l, const Record &r) { return l < r.first; });
    return static_cast<int>(at - m_records.begin()) - 1;
}

bool TrafficListBox::rowMarked(int row) const
{
    return m_records[static_cast<std::size_t>(recordOfLine(lineOf(row)))].facts.crc ==
           CrcVerdict::Bad;
}

QString TrafficListBox::rowToolTip(int row) const
{
    const RecordFacts &facts = m_records[static_cast<std::size_t>(recordOfLine(lineOf(row)))].facts;
    return recordToolTip(facts.crc, facts.replyMs);
}

int TrafficListBox::currentRow() const
{
    return rowOfLine(m_current);
}

void TrafficListBox::setCurrentRow(int row)
{
    if (rowCount() == 0)
        return;
    row = std::clamp(row, 0, rowCount() - 1);
    // Follow selects a row after every record: with one row selected only that one is undone.
    if (m_singleSelection && m_current >= 0)
        m_selected[static_cast<std::size_t>(m_current)] = 0;
    else
        std::fill(m_selected.begin(), m_selected.end(), 0);
    m_singleSelection = true;
    m_current = lineOf(row);
    m_anchor = m_current;
    m_selected[static_cast<std::size_t>(m_current)] = 1;
    ensureVisible(row);
    viewport()->update();
}

bool TrafficListBox::isRowSelected(int row) const
{
    return m_selected[static_cast<std::size_t>(lineOf(row))] != 0;
}

void TrafficListBox::clearSelection()
{
    std::fill(m_selected.begin(), m_selected.end(), 0);
    m_singleSelection = true;
    m_current = -1;
    m_anchor = -1;
    viewport()->update();
}

void TrafficListBox::selectRows(int first, int last)
{
    if (rowCount() == 0)
        return;
    first = std::clamp(first, 0, rowCount() - 1);
    last = std::clamp(last, 0, rowCount() - 1);
    for (int row = std::min(first, last); row <= std::max(first, last); ++row)
        m_selected[static_cast<std::size_t>(lineOf(row))] = 1;
    m_singleSelection = false;
    m_current = lineOf(last);
    ensureVisible(last);
    viewport()->update();
}

QStringList TrafficListBox::selectedLines() const
{
    QStringList out;
    for (int row = 0; row < rowCount(); ++row) {
        if (isRowSelected(row))
            out << rowText(row);
    }
    return out;
}

QStringList TrafficListBox::recordLines(int row) const
{
    QStringList out;
    if (row < 0 || row >= rowCount())
        return out;
    const Record &record = m_records[static_cast<std::size_t>(recordOfLine(lineOf(row)))];
    for (int k = record.first; k < record.first + record.count; ++k)
        out << line(k);
    return out;
}

void TrafficListBox::exportRecords(
    const std::function<void(const std::vector<QStringList> &)> &take) const
{
    const bool any = std::find(m_selected.begin(), m_selected.end(), 1) != m_selected.end();
    std::vector<QStringList> out;
    int lastRecord = -1;
    for (int row = 0; row < rowCount(); ++row) {
        const int record = recordOfLine(lineOf(row));
        if (record == lastRecord || (any && !isRowSelected(row)))
            continue;
        // Rows of a record are consecutive: a record's first selected row brings all of it.
        lastRecord = record;
        out.push_back(recordLines(row));
        if (out.size() == kBatch) {
            take(out);
            out.clear();
        }
    }
    take(out);
}

void TrafficListBox::shownRecords(
    const std::function<void(const std::vector<TrafficRecord> &)> &take) const
{
    std::vector<TrafficRecord> out;
    for (const Record &record : m_records) {
        const int row = rowOfLine(record.first);
        if (row < 0)
            continue;
        out.push_back({record.facts, recordLines(row)});
        if (out.size() == kBatch) {
            take(out);
            out.clear();
        }
    }
    take(out);
}

bool TrafficListBox::stepRecord(bool forward)
{
    const int rows = rowCount();
    const int current = currentRow();
    int row = current;
    if (forward) {
        // Past the rest of the current record, to the first row of the next one.
        const int record = current < 0 ? -1 : recordOfLine(lineOf(current));
        do
            ++row;
        while (row < rows && recordOfLine(lineOf(row)) == record);
    } else {
        // Back to the first row of the record before the current row's.
        if (current < 0)
            row = rows;
        else
            row = rowOfLine(m_records[static_cast<std::size_t>(recordOfLine(lineOf(row)))].first);
        if (--row >= 0)
            row = rowOfLine(m_records[static_cast<std::size_t>(recordOfLine(lineOf(row)))].first);
    }
    if (row < 0 || row >= rows)
        return false;
    if (m_follow)
        userMoved();
    setCurrentRow(row);
    return true;
}

bool TrafficListBox::selectRecord(const std::function<bool(const RecordFacts &)> &which)
{
    // The latest first: a point of the plot stands for the newest record at its time.
    const auto found = std::find_if(m_records.rbegin(), m_records.rend(), [&](const Record &r) {
        return rowOfLine(r.first) >= 0 && which(r.facts);
    });
    if (found == m_records.rend())
        return false;
    if (m_follow)
        userMoved();
    setCurrentRow(rowOfLine(found->first));
    return true;
}

void TrafficListBox::setFollow(bool on)
{
    m_follow = on;
    if (on)
        followNewest();
}

void TrafficListBox::followNewest()
{
    if (m_follow)
        setCurrentRow(rowCount() - 1);
}

void TrafficListBox::userMoved()
{
    m_follow = false;
    emit followChanged(false);
}

void TrafficListBox::setFilter(const QString &text)
{
    m_filter = RecordFilter(text);
    rebuildRows();
}

void TrafficListBox::rebuildRows()
{
    std::vector<int>().swap(m_rows);
    m_shownTrafficRecords = 0;
    if (!m_filter.empty() && m_source) {
        const std::vector<char> shown = m_source->shownBy(m_filter);
        for (std::size_t k = 0; k < m_records.size(); ++k) {
            const Record &record = m_records[k];
            if (shown[k] != 0) {
                for (int line = record.first; line < record.first + record.count; ++line)
                    m_rows.push_back(line);
                m_shownTrafficRecords += record.facts.traffic() ? 1 : 0;
            }
        }
    } else if (!m_filter.empty()) {
        for (const Record &record : m_records) {
            if (recordShown(record)) {
                for (int k = record.first; k < record.first + record.count; ++k)
                    m_rows.push_back(k);
                m_shownTrafficRecords += record.facts.traffic() ? 1 : 0;
            }
        }
    }
    updateScrollBars();
    const int row = currentRow();
    if (m_follow)
        followNewest();
    else if (row >= 0)
        ensureVisible(row);
    viewport()->update();
}

bool TrafficListBox::recordShown(const Record &record) const
{
    return m_filter.matches(std::span(m_lines).subspan(static_cast<std::size_t>(record.first),
                                                       static_cast<std::size_t>(record.count)),
                            record.facts);
}

void TrafficListBox::copySelection() const
{
    const QStringList lines = selectedLines();
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void TrafficListBox::copyPacket(int row) const
{
    const QStringList lines = recordLines(row);
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
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

int TrafficListBox::rowAt(int y) const
{
    const int row = verticalScrollBar()->value() + y / rowHeight();
    return row < rowCount() ? row : -1;
}

void TrafficListBox::updateScrollBars()
{
    m_scrolling = true;
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, rowCount() - visibleRows()));
    vertical->setPageStep(visibleRows());
    vertical->setSingleStep(1);
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, m_widest - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(fontMetrics().averageCharWidth() * 4);
    m_scrolling = false;
}

void TrafficListBox::ensureVisible(int row)
{
    m_scrolling = true;
    QScrollBar *vertical = verticalScrollBar();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + visibleRows())
        vertical->setValue(row - visibleRows() + 1);
    m_scrolling = false;
}

void TrafficListBox::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int height = rowHeight();
    const int first = verticalScrollBar()->value();
    const int last = std::min(rowCount(), first + viewport()->height() / height + 1);
    const int x = kMargin - horizontalScrollBar()->value();
    const int width = std::max(m_widest, viewport()->width() + horizontalScrollBar()->value());
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    for (int row = first; row < last; ++row) {
        const QRect rect(0, (row - first) * height, viewport()->width(), height);
        if (isRowSelected(row)) {
            painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            if (rowMarked(row))
                painter.fillRect(rect, kMarkedBackground);
            painter.setPen(palette().color(group, QPalette::Text));
        }
        painter.drawText(QRect(x, rect.y(), width, height), Qt::AlignLeft | Qt::AlignVCenter,
                         rowText(row));
    }
}

void TrafficListBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TrafficListBox::mousePressEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0 && event->button() == Qt::LeftButton) {
        if (m_follow)
            userMoved();
        const int anchorRow = rowOfLine(m_anchor);
        if (event->modifiers() & Qt::ControlModifier) {
            char &selected = m_selected[static_cast<std::size_t>(lineOf(row))];
            selected = selected ? 0 : 1;
            m_singleSelection = false;
            m_current = m_anchor = lineOf(row);
            viewport()->update();
        } else if ((event->modifiers() & Qt::ShiftModifier) && anchorRow >= 0) {
            std::fill(m_selected.begin(), m_selected.end(), 0);
            const int anchor = m_anchor;
            selectRows(anchorRow, row);
            m_anchor = anchor;
        } else {
            setCurrentRow(row);
        }
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TrafficListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        stepRecord(!(event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return;
    }
    const int page = visibleRows();
    int row = currentRow();
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
        row = rowCount() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (m_follow)
        userMoved();
    const int anchorRow = rowOfLine(m_anchor);
    if ((event->modifiers() & Qt::ShiftModifier) && anchorRow >= 0 && rowCount() > 0) {
        const int anchor = m_anchor;
        std::fill(m_selected.begin(), m_selected.end(), 0);
        selectRows(anchorRow, row);
        m_anchor = anchor;
    } else {
        setCurrentRow(row);
    }
    event->accept();
}

void TrafficListBox::contextMenuEvent(QContextMenuEvent *event)
{
    const int row = rowAt(event->pos().y() - viewport()->y());
    QMenu menu(this);
    QAction *copy = menu.addAction(QStringLiteral("&Copy"), this, &TrafficListBox::copySelection);
    copy->setEnabled(!selectedLines().isEmpty());
    QAction *packet =
        menu.addAction(QStringLiteral("Copy &packet"), this, [this, row] { copyPacket(row); });
    packet->setEnabled(row >= 0);
    menu.addSeparator();
    menu.addAction(QStringLiteral("&Export..."), this, &TrafficListBox::exportRequested);
    menu.addAction(QStringLiteral("Export as CS&V..."), this, &TrafficListBox::exportCsvRequested);
    menu.exec(event->globalPos());
}

bool TrafficListBox::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int row = rowAt(help->pos().y());
        const QString tip = row >= 0 ? rowToolTip(row) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TrafficListBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_widest = 0;
        if (m_source)
            m_widest = fontMetrics().horizontalAdvance(QString(
                           static_cast<qsizetype>(m_source->widestLine()), QLatin1Char('M'))) +
                       2 * kMargin;
        for (const QString &text : m_lines)
            m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text) + 2 * kMargin);
        updateScrollBars();
    }
}

} // namespace xlt::monitor
