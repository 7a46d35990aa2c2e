#include "ListFilter.h"

#include "TrafficListBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

namespace xlt::monitor {

namespace {
const QColor kWarningBase(255, 236, 179);
const QString kHelp = QStringLiteral(
    "Every term must hold: words (text in a line of the record), !word (without it), "
    "crc=bad or crc=ok, reply>50 or reply<50 (ms), side=target or side=host, dir=tx (requests) "
    "or dir=rx (replies). F3 and Shift+F3 select the next and the previous shown record.");
} // namespace

ListFilter::ListFilter(QLineEdit *edit, QLabel *count, TrafficListBox *list)
    : QObject(edit)
    , m_edit(edit)
    , m_count(count)
    , m_list(list)
    , m_palette(edit->palette())
{
    m_edit->setToolTip(kHelp);
    connect(m_edit, &QLineEdit::textChanged, this, &ListFilter::apply);
    for (const bool forward : {true, false}) {
        auto *key = new QShortcut(
            forward ? QKeySequence(Qt::Key_F3) : QKeySequence(Qt::SHIFT | Qt::Key_F3), m_edit);
        key->setContext(Qt::WidgetShortcut);
        connect(key, &QShortcut::activated, this, [this, forward] {
            if (m_list)
                m_list->stepRecord(forward);
        });
    }
    refresh();
}

void ListFilter::apply(const QString &text)
{
    if (!m_list)
        return;
    m_list->setFilter(text);
    const QStringList bad = m_list->filter().badTerms();
    QPalette palette = m_palette;
    if (!bad.isEmpty())
        palette.setColor(QPalette::Base, kWarningBase);
    m_edit->setPalette(palette);
    m_edit->setToolTip(bad.isEmpty() ? kHelp
                                     : QStringLiteral("Not understood, left out: %1\nThe other "
                                                      "terms apply.\n\n%2")
                                           .arg(bad.join(QLatin1Char(' ')), kHelp));
    refresh();
}

void ListFilter::refresh()
{
    if (m_list && m_count)
        m_count->setText(QStringLiteral("%1 of %2 records")
                             .arg(m_list->shownTrafficRecords())
                             .arg(m_list->trafficRecords()));
}

} // namespace xlt::monitor
