#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <vector>

namespace xlt::monitor {

/// A list box for long, growing traffic lists: one line per row, all rows the same height, one
/// selected row. Appending, emptying and selecting cost the same whatever the number of lines,
/// and a repaint draws only the visible rows. (A QListView lays out every row again after each
/// insertion: about 3.5 ms per list at 28000 lines, on every poll.)
///
/// Mouse clicks select a row; Up, Down, Page Up, Page Down, Home and End move the selection;
/// the wheel and the scroll bars scroll.
class TrafficListBox final : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TrafficListBox(QWidget *parent = nullptr);

    int count() const { return static_cast<int>(m_lines.size()); }
    const QString &line(int row) const { return m_lines[static_cast<std::size_t>(row)]; }
    void append(const QString &line);
    /// Empties the list (the Clear List buttons, the cap).
    void clear();

    /// The selected row, -1 when none.
    int currentRow() const { return m_current; }
    /// Selects `row` (clamped to the list) and scrolls so that it is visible.
    void setCurrentRow(int row);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int rowHeight() const;
    int visibleRows() const;
    void updateScrollBars();
    void ensureVisible(int row);

    std::vector<QString> m_lines;
    int m_current = -1;
    int m_widest = 0; ///< pixels of the widest line since the list was last emptied
};

} // namespace xlt::monitor
