#include "LineWorker.h"

#include <QCoreApplication>

namespace xlt::link {

LineWorker::LineWorker(LinkFactory factory)
{
    m_thread.setObjectName(QStringLiteral("XLT line"));
    m_onLine = new QObject;
    m_onLine->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_onLine, [this, factory = std::move(factory)] { m_link = factory(); },
        Qt::QueuedConnection);
}

LineWorker::~LineWorker()
{
    stop();
}

void LineWorker::submit(Job job)
{
    if (m_stopping || !job)
        return;
    QMetaObject::invokeMethod(
        m_onLine,
        [this, job = std::move(job)] {
            // A job queued before the stop does not start.
            if (m_link && !m_stopping)
                job(*m_link);
        },
        Qt::QueuedConnection);
}

void LineWorker::post(Action action)
{
    if (m_stopping || !action)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            if (!m_stopping)
                action();
        },
        Qt::QueuedConnection);
}

bool LineWorker::pause(std::chrono::milliseconds delay, const Interrupted &interrupted)
{
    return sleepUnless(
        delay, [this, &interrupted] { return m_stopping || (interrupted && interrupted()); });
}

void LineWorker::stop()
{
    if (m_stopping.exchange(true))
        return;
    // Posted after every queued job; those see the stop and return at once.
    QMetaObject::invokeMethod(
        m_onLine,
        [this] {
            m_link.reset();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    delete m_onLine;
    m_onLine = nullptr;
    QCoreApplication::removePostedEvents(this);
}

} // namespace xlt::link
