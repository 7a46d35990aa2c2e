#include "QtEventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace xlt::app {

void QtEventPump::processEvents()
{
    QCoreApplication::processEvents();
}

void QtEventPump::pumpFor(std::chrono::milliseconds duration)
{
    // A local loop ended by a timer: events run as they come, without spinning the CPU.
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace xlt::app
