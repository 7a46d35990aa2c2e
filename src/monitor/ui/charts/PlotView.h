#pragma once

// The reply-time plot's view where Qt Charts is built (ReplyTimePlot.cpp).
#include <QChartView>

namespace xlt::monitor {
using PlotView = QChartView;
}
