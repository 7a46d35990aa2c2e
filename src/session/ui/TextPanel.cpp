#include "TextPanel.h"

#include <QFontDatabase>
#include <QTextDocument>

namespace xlt::session {

void setUpTextPanel(QPlainTextEdit &panel, int minimumHeight)
{
    panel.setReadOnly(true);
    panel.setLineWrapMode(QPlainTextEdit::NoWrap);
    // A fixed-pitch font keeps the values of each group of lines in one column.
    panel.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int width =
        panel.fontMetrics().horizontalAdvance(QString(56, QLatin1Char('-'))) +
        2 * (panel.frameWidth() + static_cast<int>(panel.document()->documentMargin()));
    panel.setMinimumSize(width, minimumHeight);
}

} // namespace xlt::session
