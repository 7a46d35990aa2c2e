#include "QtScheduler.h"

#include <QTimer>

namespace xlt::core {

void QtScheduler::after(std::chrono::milliseconds delay, std::function<void()> action)
{
    QTimer::singleShot(delay, Qt::PreciseTimer, std::move(action));
}

} // namespace xlt::core
