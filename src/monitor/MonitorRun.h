#pragma once

#include "TrafficListing.h"
#include "TrafficLog.h"
#include "core/EventPump.h"
#include "link/DeviceContext.h"

#include <QDateTime>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace xlt::monitor {

/// One monitoring run over the shared device context: find the device, open the port, start the
/// device's capture, then one capture-read exchange per tick, listed by a TrafficListing and
/// appended to the run's two TrafficLog files. The owner (the monitor window, xltctl) arms its
/// own single-shot 50 ms timer and calls tick() when it fires, re-arming only when tick() says so;
/// this class never waits and never touches a timer.
///
/// While a run is active it holds the device ("traffic monitor"), so other windows refuse to use
/// the port instead of interleaving with the run on the shared record.
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
    };

    /// How the latest run ended.
    enum class Ending {
        None,           ///< running, or never started
        Stopped,        ///< a tick found the stop request and closed the port
        ExchangeFailed, ///< a capture-read failed (message shown, port closed)
        Ended,          ///< end() was called
    };

    MonitorRun(link::DeviceContext &context, TrafficListing &listing, Clock clock = {});
    /// Ends an active run (closes the port).
    ~MonitorRun();
    MonitorRun(const MonitorRun &) = delete;
    MonitorRun &operator=(const MonitorRun &) = delete;

    void setClock(Clock clock);

    /// The Run button: port search, PortNumber/BaudRate/Timeout, log base name from the clock,
    /// packet numbers to 0, open, capture-start (2, 1). On Started the stop request is cleared.
    /// `logDir` is where this run's log files go (LogPath at the moment of the start).
    StartResult start(const QString &logDir);

    /// One poll: capture-read (1), the reply listed and its new lines appended to the logs.
    /// Returns true when the owner should arm the timer again; false when the run is over
    /// (stop requested: port closed here; exchange failed: message shown and port closed by
    /// the transaction; or the run was ended meanwhile). Safe to call when idle (returns false).
    bool tick();

    /// The Stop button: only sets the flag; the next tick ends the run after its reply.
    void requestStop() { m_stopRequested = true; }

    /// Ends an active run at once (the window is closing): closes the port and releases the
    /// device. A tick that is listing a reply at that moment still writes that reply's lines to
    /// the logs, then returns false. No effect when idle.
    void end();

    bool running() const { return m_running; }
    bool StopRequested() const { return m_stopRequested; }
    /// "XLT_log_ dd mm yyyy hh mm ss" of the latest start (empty before the first).
    const std::string &LogBaseName() const { return m_logBaseName; }
    Ending ending() const { return m_ending; }
    /// True once a log file of the latest run could not be written (the user was told).
    bool logFailed() const { return !m_logFilesTold.empty(); }
    /// The files of the latest start, if any.
    const std::optional<TrafficLog> &log() const { return m_log; }

private:
    void finish(Ending ending);
    void writeLogs(const TrafficListing::Added &added);

    link::DeviceContext &m_context;
    TrafficListing &m_listing;
    Clock m_clock;
    bool m_running = false;
    bool m_stopRequested = false;
    std::set<QString> m_logFilesTold; ///< log files of this run whose failure was told
    Ending m_ending = Ending::None;
    std::string m_logBaseName;
    std::optional<TrafficLog> m_log;
    std::optional<link::DeviceHold> m_hold;
};

/// Lets window events run at most once per `interval` while a reply is being listed, so that
/// Stop and Clear List act at once but repaints of long lists do not eat the poll period.
/// restart() marks the moment events last ran (the start of a tick, which itself came from the
/// event loop); processEvents() forwards to the inner pump only when `interval` has passed since
/// then or since the last forward. pumpFor() always forwards.
class ThrottledPump final : public core::EventPump
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Now = std::function<TimePoint()>;

    ThrottledPump(core::EventPump &inner, std::chrono::milliseconds interval, Now now = {});

    void restart();
    /// The next processEvents() forwards whatever the interval (a list was just emptied: the
    /// window catches up with that before the stretch of listing goes on).
    void requestPass() { m_passRequested = true; }
    void processEvents() override;
    void pumpFor(std::chrono::milliseconds duration) override;

    void setInterval(std::chrono::milliseconds interval) { m_interval = interval; }
    std::chrono::milliseconds interval() const { return m_interval; }

private:
    core::EventPump &m_inner;
    std::chrono::milliseconds m_interval;
    Now m_now;
    TimePoint m_last{};
    bool m_passRequested = false;
};

} // namespace xlt::monitor
