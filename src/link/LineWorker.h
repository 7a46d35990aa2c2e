#pragma once

#include "DeviceLine.h"

#include <QObject>
#include <QThread>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace xlt::link {

/// The serial line on a thread of its own. The link is made by `factory` on that thread (a
/// QSerialPort belongs to the thread that made it) and every job runs there, one at a time in
/// submission order; each job's `done` comes back to the thread that owns this object as a
/// queued event. The window thread therefore never waits on the line, however slow the device.
class LineWorker final : public QObject, public DeviceLine
{
public:
    using LinkFactory = std::function<std::unique_ptr<LinkLibrary>()>;

    explicit LineWorker(LinkFactory factory);
    /// Calls stop().
    ~LineWorker() override;
    LineWorker(const LineWorker &) = delete;
    LineWorker &operator=(const LineWorker &) = delete;

    void submit(Job job, Done done) override;
    bool immediate() const override { return false; }

    /// Lets the jobs already queued run, destroys the link (which closes its port) on the line's
    /// thread and ends that thread. The `done` of every job not yet reported is dropped here,
    /// on the owner's thread. Later submits are ignored. Blocks until the running job has ended.
    void stop();

    /// Jobs submitted whose `done` has not run yet.
    std::size_t pending() const { return m_dones.size(); }

private:
    void finish(std::uint64_t id);

    QThread m_thread;
    QObject *m_onLine = nullptr; ///< lives on the line's thread; jobs are posted to it
    std::unique_ptr<LinkLibrary> m_link;
    std::unordered_map<std::uint64_t, Done> m_dones;
    std::uint64_t m_nextId = 0;
    bool m_stopped = false;
};

} // namespace xlt::link
