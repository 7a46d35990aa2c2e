#pragma once

#include <QPlainTextEdit>

namespace xlt::session {

/// Makes `panel` a read-only text panel of fixed-pitch lines (one printed text per line), at
/// least wide enough for the identity lines (48-hyphen rules and the longest label with its
/// value) so it never scrolls sideways, and at least `minimumHeight` high.
void setUpTextPanel(QPlainTextEdit &panel, int minimumHeight);

} // namespace xlt::session
