#pragma once

#include "LinkLibrary.h"

#include <chrono>
#include <deque>
#include <functional>
#include <thread>
#include <utility>

namespace xlt::link {

/// Where device operations run. Each operation is one job: a procedure that talks to the link
/// from start to end, synchronously, one exchange after the other. Jobs run one at a time in
/// the order they were submitted. What a job hands back to its owner goes through post().
///
/// - The windows use LineWorker: the serial line belongs to a thread of its own, so the window
///   thread never waits on the line; posted actions arrive on the window thread as events.
/// - xltctl and most tests use InlineLine: a job runs at once on the caller's thread and its
///   posted actions run as they are posted.
class DeviceLine
{
public:
    using Job = std::function<void(LinkLibrary &link)>;
    using Action = std::function<void()>;
    /// True when the job waiting should give up (its owner has gone).
    using Interrupted = std::function<bool()>;

    virtual ~DeviceLine() = default;
    /// Queues `job`. After the line has stopped, jobs are dropped.
    virtual void submit(Job job) = 0;
    /// Runs `action` on the thread that owns the line, after the actions posted before it.
    /// Callable from a job and from the owner's thread; after the line has stopped, dropped.
    virtual void post(Action action) = 0;
    /// From a job: waits `delay`, or less once `interrupted()` or the line is stopping. False
    /// when the wait was cut short.
    virtual bool pause(std::chrono::milliseconds delay, const Interrupted &interrupted) = 0;
    /// True once the line is shutting down: every job ends at its next step.
    virtual bool stopping() const { return false; }
};

/// Waits `delay` in short slices, giving up as soon as `giveUp()` says so. False when cut short.
bool sleepUnless(std::chrono::milliseconds delay, const DeviceLine::Interrupted &giveUp);

/// A line on the caller's own thread over a link it does not own. A job submitted from inside
/// a running job is queued and run when that job returns, so an operation started from
/// another's result does not grow the stack; the outermost submit() returns when the queue is
/// empty. Pauses sleep, unless a test hands in its own pause.
class InlineLine final : public DeviceLine
{
public:
    /// Replaces the sleep of pause(): gets the delay, returns what pause() returns.
    using Pause = std::function<bool(std::chrono::milliseconds)>;

    explicit InlineLine(LinkLibrary &link, Pause pause = {})
        : m_link(link)
        , m_pause(std::move(pause))
    {}

    void submit(Job job) override
    {
        m_queue.push_back(std::move(job));
        if (m_draining)
            return;
        m_draining = true;
        struct Reset
        {
            bool &flag;
            ~Reset() { flag = false; }
        } reset{m_draining};
        while (!m_queue.empty()) {
            Job next = std::move(m_queue.front());
            m_queue.pop_front();
            if (next)
                next(m_link);
        }
    }
    void post(Action action) override
    {
        if (action)
            action();
    }
    bool pause(std::chrono::milliseconds delay, const Interrupted &interrupted) override
    {
        if (interrupted && interrupted())
            return false;
        if (m_pause)
            return m_pause(delay);
        return sleepUnless(delay, interrupted);
    }
    void setPause(Pause pause) { m_pause = std::move(pause); }

private:
    LinkLibrary &m_link;
    Pause m_pause;
    std::deque<Job> m_queue;
    bool m_draining = false;
};

inline bool sleepUnless(std::chrono::milliseconds delay, const DeviceLine::Interrupted &giveUp)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kSlice{10};
    const Clock::time_point end = Clock::now() + delay;
    for (;;) {
        if (giveUp && giveUp())
            return false;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, kSlice));
    }
}

} // namespace xlt::link
