#pragma once

#include "DeviceLine.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

namespace xlt::link {

/// The serial line on a thread of its own. The link is made by `factory` on that thread (a
/// QSerialPort belongs to the thread that made it) and every job runs there, one at a time in
/// submission order; posted actions come back to the thread that owns this object as queued
/// events. The window thread therefore never waits on the line, however slow the device.
class LineWorker final : public QObject, public DeviceLine
{
public:
    using LinkFactory = std::function<std::unique_ptr<LinkLibrary>()>;

    explicit LineWorker(LinkFactory factory);
    /// Calls stop().
    ~LineWorker() override;
    LineWorker(const LineWorker &) = delete;
    LineWorker &operator=(const LineWorker &) = delete;

    void submit(Job job) override;
    void post(Action action) override;
    bool pause(std::chrono::milliseconds delay, const Interrupted &interrupted) override;
    bool stopping() const override { return m_stopping.load(); }

    /// Tells the running job to end at its next step (its exchange gives up within a few
    /// milliseconds), drops the jobs not yet started and every action not yet delivered,
    /// destroys the link on the line's thread (which closes its port) and ends that thread.
    /// Returns when the thread has ended. Later submits and posts are dropped.
    void stop();

private:
    QThread m_thread;
    QObject *m_onLine = nullptr; ///< lives on the line's thread; jobs are posted to it
    std::unique_ptr<LinkLibrary> m_link;
    std::atomic<bool> m_stopping{false};
};

} // namespace xlt::link
