#pragma once

// The reply-time plot's place where Qt Charts is not built, as on Windows
// (ReplyTimePlot_nocharts.cpp): a line that says so.
#include <QLabel>

namespace xlt::monitor {
using PlotView = QLabel;
}
