#pragma once

#include "monitor/TrafficAnalysis.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <vector>

namespace xlt::monitor {

/// A list box for long, growing traffic lists, in a fixed-width font: one line per row, all
/// rows the same height. Appending, emptying and selecting cost the same whatever the number
/// of lines, and a repaint draws only the visible rows. (A QListView lays out every row again
/// after each insertion: about 3.5 ms per list at 28000 lines, on every poll.)
///
/// Lines come in records (a traffic record's five lines); a record can be marked (drawn on a
/// warning colour) and carry a tooltip. A filter shows only the records that match it; the
/// lines themselves (count(), line()) are always all of them.
///
/// Mouse clicks select a row, Ctrl+click adds or removes one, Shift+click selects a range;
/// Up, Down, Page Up, Page Down, Home and End move the selection (with Shift they extend it);
/// Ctrl+C and the context menu copy the selected lines; "Copy packet" copies the record under
/// the mouse. With Follow on, the newest row is selected after each record; a click, a key that
/// moves the selection, or scrolling up turns Follow off (followChanged), so the list stays where
/// it is while lines are added.
class TrafficListBox final : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TrafficListBox(QWidget *parent = nullptr);

    /// Every line, shown or not.
    int count() const { return static_cast<int>(m_lines.size()); }
    const QString &line(int index) const { return m_lines[static_cast<std::size_t>(index)]; }
    /// Appends one line as a record of its own.
    void append(const QString &line);
    /// Appends a record's lines; a marked record is drawn on a warning colour.
    void appendRecord(const QStringList &lines, bool marked = false,
                      const QString &toolTip = QString());
    /// Empties the list (the Clear List buttons, the cap).
    void clear();

    /// Rows shown (the lines of the records that pass the filter).
    int rowCount() const;
    /// The line shown in `row`.
    const QString &rowText(int row) const { return line(lineOf(row)); }
    bool rowMarked(int row) const;
    QString rowToolTip(int row) const;

    /// The current row, -1 when none.
    int currentRow() const;
    /// Selects only `row` (clamped to the rows) and scrolls so that it is visible.
    void setCurrentRow(int row);
    bool isRowSelected(int row) const;
    void clearSelection();
    /// Adds rows first..last to the selection.
    void selectRows(int first, int last);
    /// The selected lines that are shown, in order.
    QStringList selectedLines() const;
    /// The shown records with a selected line, or every shown record when none is selected.
    std::vector<QStringList> exportRecords() const;
    /// The lines of the record shown in `row`.
    QStringList recordLines(int row) const;

    bool follow() const { return m_follow; }
    /// Follow on selects the newest row at once.
    void setFollow(bool on);
    /// Selects the newest shown row if Follow is on (after each record of a run).
    void followNewest();

    void setFilter(const QString &text);

    void copySelection() const;
    void copyPacket(int row) const;

    QSize sizeHint() const override;

signals:
    /// The user turned Follow off by scrolling or selecting.
    void followChanged(bool on);
    /// "Export..." was chosen in the context menu.
    void exportRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    struct Record
    {
        int first;
        int count;
        bool marked;
        QString toolTip;
    };

    int rowHeight() const;
    int visibleRows() const;
    int rowAt(int y) const;
    int lineOf(int row) const;
    int rowOfLine(int line) const;
    int recordOfLine(int line) const;
    void updateScrollBars();
    void ensureVisible(int row);
    void rebuildRows();
    void userMoved();

    std::vector<QString> m_lines;
    std::vector<Record> m_records;
    std::vector<char> m_selected; ///< per line
    RecordFilter m_filter;
    std::vector<int> m_rows;       ///< line shown in each row, while a filter is set
    int m_current = -1;            ///< line of the current row
    int m_anchor = -1;             ///< line where a Shift selection starts
    bool m_singleSelection = true; ///< no line is selected but m_current
    int m_widest = 0;              ///< pixels of the widest line since the list was last emptied
    bool m_follow = true;
    bool m_scrolling = false; ///< the list itself moves the scroll bar
};

} // namespace xlt::monitor
