#pragma once

#include <QApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <sys/resource.h>
#include <time.h>

namespace xlt::test {

/// An application object that times the delivery of every event on the window thread, for a
/// BusyProbe. Test and benchmark mains make this instead of a plain QApplication.
class ProbedApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};

/// The longest time the window thread spent delivering one event, while the probe exists: the
/// longest stretch in which the window could run no other event (a nested event loop counts as
/// part of the event that started it).
///
/// An event during which the thread waited of its own accord (blocked in a system call, on a
/// serial line say) counts with its full wall-clock length. One during which it never waited
/// counts with the processor time the thread used: on a loaded machine the system may keep a
/// busy thread off the processor for a while, which says nothing about the program.
/// `worstWallMs` keeps the plain wall-clock figure too. Needs a ProbedApplication.
class BusyProbe
{
public:
    BusyProbe() { s_active = this; }
    ~BusyProbe() { s_active = nullptr; }
    BusyProbe(const BusyProbe &) = delete;
    BusyProbe &operator=(const BusyProbe &) = delete;

    /// The worst stretch since the last call; starts afresh.
    double take()
    {
        const double worst = worstMs;
        worstMs = 0;
        worstWallMs = 0;
        return worst;
    }

    double worstMs = 0;
    double worstWallMs = 0;

private:
    friend class ProbedApplication;
    using Clock = std::chrono::steady_clock;

    static double threadCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    static long waits()
    {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return usage.ru_nvcsw;
    }

    void delivered(Clock::time_point start, double cpuStart, long waitsStart)
    {
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const bool waited = waits() != waitsStart;
        worstMs = std::max(worstMs, waited ? wall : threadCpuMs() - cpuStart);
        worstWallMs = std::max(worstWallMs, wall);
    }

    static inline BusyProbe *s_active = nullptr;
    static inline int s_depth = 0;
};

inline bool ProbedApplication::notify(QObject *receiver, QEvent *event)
{
    BusyProbe *probe = BusyProbe::s_active;
    if (!probe || BusyProbe::s_depth > 0 || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    const auto start = BusyProbe::Clock::now();
    const double cpuStart = BusyProbe::threadCpuMs();
    const long waitsStart = BusyProbe::waits();
    ++BusyProbe::s_depth;
    const bool result = QApplication::notify(receiver, event);
    --BusyProbe::s_depth;
    if (BusyProbe::s_active == probe)
        probe->delivered(start, cpuStart, waitsStart);
    return result;
}

} // namespace xlt::test
