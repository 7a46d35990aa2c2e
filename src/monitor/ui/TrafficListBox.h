#pragma once

#include "monitor/RecordSource.h"
#include "monitor/TrafficAnalysis.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace xlt::monitor {

/// A list box for long, growing traffic lists, in a fixed-width font: one line per row, all
/// rows the same height. Appending, emptying and selecting cost the same whatever the number
/// of lines, and a repaint draws only the visible rows. (A QListView lays out every row again
/// after each insertion: about 3.5 ms per list at 28000 lines, on every poll.)
///
/// Lines come in records (a traffic record's five lines) with their facts (RecordFacts): a
/// record whose CRC failed is drawn on a warning colour, and its tooltip tells that and its
/// reply time. A filter (RecordFilter) shows only the records that match it; the lines
/// themselves (count(), line()) are always all of them. F3 and Shift+F3 select the next and
/// the previous shown record.
///
/// Mouse clicks select a row, Ctrl+click adds or removes one, Shift+click selects a range;
/// Up, Down, Page Up, Page Down, Home and End move the selection (with Shift they extend it);
/// The lines are the list's own texts (a live run appends them) or come from a RecordSource
/// (a capture read back), which makes only the lines of the rows in view and filters records
/// without a text per line.
///
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
    int count() const { return m_source ? m_sourceLines : static_cast<int>(m_lines.size()); }
    QString line(int index) const;
    /// Shows the records of `source` instead of the list's own lines. A source that extends
    /// the one shown (the rest of a capture read) keeps the selection, Follow and the scroll
    /// position; any other starts afresh. clear() goes back to the list's own lines.
    void setSource(std::shared_ptr<const RecordSource> source);
    /// Appends one line as a record of its own (a list showing a source is emptied first).
    void append(const QString &line);
    /// Appends a record's lines with what the analysis knows of it.
    void appendRecord(const QStringList &lines, const RecordFacts &facts = {});
    /// Empties the list (the Clear List buttons, the cap).
    void clear();

    /// Rows shown (the lines of the records that pass the filter).
    int rowCount() const;
    /// The line shown in `row`.
    QString rowText(int row) const { return line(lineOf(row)); }
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
    /// The shown records with a selected line, or every shown record when none is selected,
    /// handed to `take` some thousands at a time (a capture's million records never have all
    /// their lines made at once).
    void exportRecords(const std::function<void(const std::vector<QStringList> &)> &take) const;
    /// The lines of the record shown in `row`.
    QStringList recordLines(int row) const;
    /// Every shown record with its facts, in list order (the CSV export), some thousands at a
    /// time.
    void shownRecords(const std::function<void(const std::vector<TrafficRecord> &)> &take) const;
    /// Traffic records (not run marks) held, and those of them shown.
    int trafficRecords() const { return m_trafficRecords; }
    int shownTrafficRecords() const
    {
        return m_filter.empty() ? m_trafficRecords : m_shownTrafficRecords;
    }
    /// Selects the first row of the next (or previous) shown record after the current row
    /// (from the top, or the bottom, with none), turning Follow off; false at the end.
    bool stepRecord(bool forward);
    /// Selects the first row of the latest shown record for which `which` is true; false
    /// when none is shown.
    bool selectRecord(const std::function<bool(const RecordFacts &)> &which);

    bool follow() const { return m_follow; }
    /// Follow on selects the newest row at once.
    void setFollow(bool on);
    /// Selects the newest shown row if Follow is on (after each record of a run).
    void followNewest();

    void setFilter(const QString &text);
    const RecordFilter &filter() const { return m_filter; }

    void copySelection() const;
    void copyPacket(int row) const;

    QSize sizeHint() const override;

signals:
    /// The user turned Follow off by scrolling or selecting.
    void followChanged(bool on);
    /// "Export..." was chosen in the context menu.
    void exportRequested();
    /// "Export as CSV..." was chosen in the context menu.
    void exportCsvRequested();

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
        RecordFacts facts;
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
    bool recordShown(const Record &record) const;

    std::vector<QString> m_lines;
    std::shared_ptr<const RecordSource> m_source;
    int m_sourceLines = 0;
    std::vector<Record> m_records;
    std::vector<char> m_selected; ///< per line
    RecordFilter m_filter;
    std::vector<int> m_rows; ///< line shown in each row, while a filter is set
    int m_trafficRecords = 0;
    int m_shownTrafficRecords = 0; ///< while a filter is set
    int m_current = -1;            ///< line of the current row
    int m_anchor = -1;             ///< line where a Shift selection starts
    bool m_singleSelection = true; ///< no line is selected but m_current
    int m_widest = 0;              ///< pixels of the widest line since the list was last emptied
    bool m_follow = true;
    bool m_scrolling = false; ///< the list itself moves the scroll bar
};

} // namespace xlt::monitor
