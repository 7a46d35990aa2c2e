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

void LineWorker::submit(Job job, Done done)
{
    if (m_stopped)
        return;
    const std::uint64_t id = m_nextId++;
    m_dones.emplace(id, std::move(done));
    QMetaObject::invokeMethod(
        m_onLine,
        [this, id, job = std::move(job)] {
            if (job && m_link)
                job(*m_link);
            QMetaObject::invokeMethod(
                this, [this, id] { finish(id); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void LineWorker::finish(std::uint64_t id)
{
    const auto found = m_dones.find(id);
    if (found == m_dones.end())
        return;
    Done done = std::move(found->second);
    m_dones.erase(found);
    if (done)
        done();
}

void LineWorker::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    // Posted after every queued job, so those still run (and close what they opened).
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
    m_dones.clear();
}

} // namespace xlt::link
