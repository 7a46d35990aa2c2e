#pragma once

#include <QObject>
#include <QPalette>
#include <QPointer>

class QLabel;
class QLineEdit;

namespace xlt::monitor {

class TrafficListBox;

/// Ties a filter box and a count label to a list: what is typed becomes the list's filter
/// (RecordFilter); terms that do not parse turn the box to a warning colour, with a tooltip
/// that names them, while the rest applies. The label reads "12 of 340 records" (refresh()
/// after records were added or the list emptied). F3 and Shift+F3 in the box select the next
/// and the previous shown record of the list, as they do in the list itself.
class ListFilter final : public QObject
{
    Q_OBJECT
public:
    ListFilter(QLineEdit *edit, QLabel *count, TrafficListBox *list);

    /// Sets the count label again.
    void refresh();

private:
    void apply(const QString &text);

    QPointer<QLineEdit> m_edit;
    QPointer<QLabel> m_count;
    QPointer<TrafficListBox> m_list;
    QPalette m_palette; ///< the box's own
};

} // namespace xlt::monitor
