#pragma once

#include "TrafficListing.h"
#include "TrafficLog.h"
#include "core/Lifetime.h"
#include "link/DeviceContext.h"

#include <QDateTime>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace xlt::monitor {

/// One monitoring run over the shared device context: find the device, open the port, start the
/// device's capture, then one capture-read exchange per tick, listed by a TrafficListing and
/// appended to the run's two TrafficLog files. The owner (the monitor window, xltctl) arms its
/// own single-shot 50 ms timer when a tick's `done` says so, so the 50 ms run from the end of
/// one tick (its reply listed and logged) to the start of the next; this class never waits and
/// never touches a timer. Exchanges go through the context's line: with a worker line start()
/// and tick() return at once and report through `done` later.
///
/// While a run is active (from start() until it ends) it holds the device ("traffic monitor"),
/// so other windows refuse to use the port instead of interleaving with the run.
class MonitorRun
{
public:
    /// The moment Run was pressed, for the log base name (injectable for tests).
    using Clock = std::function<QDateTime()>;

    enum class StartResult {
        Started,            ///< running: call tick() after the poll interval
        AlreadyRunning,     ///< nothing done
        Refused,            ///< another holder has the device; the user was told
        NoDevice,           ///< "No XLT device detected" was shown
        PortNotOpened,      ///< silently idle (counts and base name already reset)
        CaptureStartFailed, ///< the transaction showed its message and closed the port
        Ended,              ///< end() was called before the start had finished
    };

    /// How the latest run ended.
    enum class Ending {
        None,           ///< running, or never started
        Stopped,        ///< a tick found the stop request and closed the port
        ExchangeFailed, ///< a capture-read failed (message shown, port closed)
        Ended,          ///< end() was called
    };

    MonitorRun(link::DeviceContext &context, TrafficListing &listing, Clock clock = {});
    /// Ends an active run (closes the port). Results still on their way are dropped.
    ~MonitorRun();
    MonitorRun(const MonitorRun &) = delete;
    MonitorRun &operator=(const MonitorRun &) = delete;

    void setClock(Clock clock);

    /// The Run button: port search, PortNumber/BaudRate/Timeout, log base name from the clock,
    /// packet numbers to 0, open, capture-start (2, 1). The stop request is cleared here, so a
    /// Stop pressed while the start is under way ends the run at its first poll.
    /// `logDir` is where this run's log files go (LogPath at the moment of the start). `done`
    /// gets the result (at once for everything decided before the line is used).
    void start(const QString &logDir, const std::function<void(StartResult)> &done);

    /// One poll: capture-read (1), the reply listed and its new lines appended to the logs.
    /// `done(true)` when the owner should arm the timer again; `done(false)` when the run is over
    /// (stop requested: port closed here; exchange failed: message shown and port closed by the
    /// transaction; or the run was ended meanwhile: the reply is still listed and logged, so
    /// nothing the device handed over is lost). Idle: `done(false)` at once, nothing sent.
    void tick(const std::function<void(bool again)> &done);

    /// The Stop button: only sets the flag; the next tick ends the run after its reply.
    void requestStop() { m_stopRequested = true; }

    /// Ends an active or starting run at once (the window is closing): closes the port (behind
    /// any exchange in flight) and releases the device. No effect when idle.
    void end();

    bool running() const { return m_state == State::Running; }
    /// True from start() until its result is in.
    bool starting() const { return m_state == State::Starting; }
    /// "XLT_log_ dd mm yyyy hh mm ss" of the latest start (empty before the first).
    const std::string &LogBaseName() const { return m_logBaseName; }
    Ending ending() const { return m_ending; }
    /// True once a log file of the latest run could not be written (the user was told).
    bool logFailed() const { return !m_logFilesTold.empty(); }
    /// The files of the latest start, if any.
    const std::optional<TrafficLog> &log() const { return m_log; }

private:
    enum class State { Idle, Starting, Running };

    void started(bool ok, StartResult failure, const std::function<void(StartResult)> &done);
    void listed(bool current, const std::function<void(bool)> &done);
    void finish(Ending ending);
    void writeLogs(const TrafficListing::Added &added);

    link::DeviceContext &m_context;
    TrafficListing &m_listing;
    Clock m_clock;
    State m_state = State::Idle;
    /// Counts starts, so that a reply of an ended run never drives a later one.
    unsigned m_runNumber = 0;
    bool m_stopRequested = false;
    std::set<QString> m_logFilesTold; ///< log files of this run whose failure was told
    Ending m_ending = Ending::None;
    std::string m_logBaseName;
    std::optional<TrafficLog> m_log;
    std::optional<link::DeviceHold> m_hold;
    core::Lifetime m_lifetime; // last: callbacks see the object gone before its members
};

} // namespace xlt::monitor
