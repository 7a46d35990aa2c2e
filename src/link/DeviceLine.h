#pragma once

#include "LinkLibrary.h"

#include <deque>
#include <functional>
#include <utility>

namespace xlt::link {

/// Where exchanges with the device run. Every user of the device hands its link operations to
/// the line as jobs; the jobs run one at a time, in the order they were submitted, and each
/// job's `done` then runs on the thread that submitted it.
///
/// - The windows use LineWorker: the serial line belongs to a thread of its own, so the window
///   thread never waits on the line; `done` arrives later as an event.
/// - xltctl and most tests use InlineLine: the job and its `done` run at once.
///
/// A job touches only the link and the data it captured by value; everything else (the shared
/// record, messages, windows) belongs in `done`.
class DeviceLine
{
public:
    using Job = std::function<void(LinkLibrary &link)>;
    using Done = std::function<void()>;

    virtual ~DeviceLine() = default;
    /// Queues `job`; `done` (may be empty) runs after it on the submitting thread. After the
    /// line has stopped, jobs are dropped and `done` never runs.
    virtual void submit(Job job, Done done) = 0;
    /// True when submit() runs the job and its `done` before it returns (at the latest when the
    /// outermost submit() returns, see InlineLine).
    virtual bool immediate() const = 0;
    /// The link itself, for callers on the line's own thread that want an exchange done before
    /// they go on (xltctl, tests); null where the link belongs to another thread.
    virtual LinkLibrary *direct() { return nullptr; }
};

/// A line on the caller's own thread over a link it does not own. A submit() made from inside
/// a running job's `done` is queued and run when that `done` returns, so a long chain of
/// requests (a firmware update of thousands of blocks) runs in a loop instead of growing the
/// stack; the outermost submit() returns when the chain has ended.
class InlineLine final : public DeviceLine
{
public:
    explicit InlineLine(LinkLibrary &link)
        : m_link(link)
    {}

    void submit(Job job, Done done) override
    {
        m_queue.emplace_back(std::move(job), std::move(done));
        if (m_draining)
            return;
        m_draining = true;
        struct Reset
        {
            bool &flag;
            ~Reset() { flag = false; }
        } reset{m_draining};
        while (!m_queue.empty()) {
            auto [nextJob, nextDone] = std::move(m_queue.front());
            m_queue.pop_front();
            if (nextJob)
                nextJob(m_link);
            if (nextDone)
                nextDone();
        }
    }
    bool immediate() const override { return true; }
    LinkLibrary *direct() override { return &m_link; }

private:
    LinkLibrary &m_link;
    std::deque<std::pair<Job, Done>> m_queue;
    bool m_draining = false;
};

} // namespace xlt::link
