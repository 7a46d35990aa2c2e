#include "ReplyTimePlot.h"

namespace xlt::monitor {

// Without Qt Charts (the Windows build: Debian serves no source for it) the Timeline tab and
// the analysis window keep their lists; the plot's place says why it is empty.
ReplyTimePlot::ReplyTimePlot(QWidget *parent)
    : PlotView(parent)
{
    setText(QStringLiteral("The reply-time plot is not part of this build of XLT."));
    setAlignment(Qt::AlignCenter);
    setEnabled(false);
}

void ReplyTimePlot::addRecords(std::span<const TrafficRecord>) {}

void ReplyTimePlot::setRecords(std::span<const RecordFacts>) {}

void ReplyTimePlot::clear() {}

void ReplyTimePlot::fitAxes() {}

} // namespace xlt::monitor
