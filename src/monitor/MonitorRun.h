#pragma once

#include "TrafficListing.h"
#include "TrafficLog.h"
#include "link/DeviceContext.h"
#include "link/Operation.h"

#include <QDateTime>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace xlt::monitor {

/// One monitoring run over the device context, as one operation: find the device, open the
/// port, start the device's capture, then capture-read after capture-read, each 50 ms after the
/// previous reply, until a stop is requested or an exchange fails. The exchanges run on the
/// context's line; each reply comes back to the owner's thread, where the TrafficListing lists
/// it and its new lines are appended to the run's two TrafficLog files.
///
/// While a run is active (from start() until it ends) it holds the device ("traffic monitor"),
/// so other windows refuse to use the port instead of interleaving with the run.
class MonitorRun
{
public:
    /// The moment Run was pressed, for the log base name (injectable for tests).
    using Clock = std::function<QDateTime()>;
    static constexpr std::chrono::milliseconds kPollInterval{50};

    enum class StartResult {
        Started,            ///< running: replies follow until the run ends
        AlreadyRunning,     ///< nothing done
        Refused,            ///< another holder has the device; the user was told
        NoDevice,           ///< "No XLT device detected" was shown
        PortNotOpened,      ///< silently idle (counts and base name already reset)
        CaptureStartFailed, ///< the transaction showed its message and closed the port
    };

    /// How the latest run ended.
    enum class Ending {
        None,           ///< running, or never started
        Stopped,        ///< the stop request was honoured after a reply; port closed
        ExchangeFailed, ///< a capture-read failed (message shown, port closed)
        Ended,          ///< end() was called
    };

    /// What the owner hears of a run, on its own thread, in this order: `started` once, then
    /// `replied` after each capture-read reply has been listed and logged, then `ended` once
    /// (not after a failed start, and not after end()).
    struct Events
    {
        std::function<void(StartResult)> started;
        std::function<void(const link::XLTPacket &reply)> replied;
        std::function<void(Ending)> ended;
    };

    MonitorRun(link::DeviceContext &context, TrafficListing &listing, Clock clock = {});
    /// Ends an active run (see end()).
    ~MonitorRun();
    MonitorRun(const MonitorRun &) = delete;
    MonitorRun &operator=(const MonitorRun &) = delete;

    void setClock(Clock clock);

    /// The Run button: log base name from the clock, packet numbers to 0, then the operation:
    /// port search, PortNumber/BaudRate/Timeout, open, the identity (16, for the capture's
    /// header; a failed one leaves it unknown), capture-start (2, 1), and the polls. `logDir`
    /// is where this run's log files go (LogPath at the moment of the start); the capture file
    /// (CaptureFile.h) goes to `capturePath`, or beside the logs when it is empty: each reply
    /// that holds bytes, the first one led by the header, whole lines only; a failure is told
    /// as a log file's is. Results decided before the line is used (AlreadyRunning, Refused)
    /// come at once.
    void start(const std::filesystem::path &logDir, Events events,
               std::filesystem::path capturePath = {});

    /// The Stop button: the run ends after the reply of its next capture-read. Also counts
    /// when pressed while the start is under way.
    void requestStop() { m_operation.requestStop(); }

    /// Ends an active or starting run at once (the window is closing): nothing more is sent
    /// or listed, the port is closed and the device released. No effect when idle.
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
    /// When the latest run was started (the clock at start()).
    const QDateTime &startedAt() const { return m_startedAt; }
    /// The port of the latest run that started ("COM5"); empty before one has.
    const std::string &portName() const { return m_portName; }
    /// The capture file of the latest start.
    const std::filesystem::path &capturePath() const { return m_capturePath; }

private:
    enum class State { Idle, Starting, Running };

    void runOnLine(link::Flow &flow);
    void started(StartResult result);
    void listed(const link::XLTPacket &reply);
    void writeFiles(const TrafficListing::Added &added, const std::string &captureText);

    link::DeviceContext &m_context;
    TrafficListing &m_listing;
    Clock m_clock;
    State m_state = State::Idle;
    std::set<std::filesystem::path>
        m_logFilesTold; ///< log files of this run whose failure was told
    Ending m_ending = Ending::None;
    std::string m_logBaseName;
    QDateTime m_startedAt;
    std::string m_portName;
    std::optional<TrafficLog> m_log;
    std::filesystem::path m_capturePath;
    std::string m_captureHeader; ///< the capture's header, until it has been written
    Events m_events;
    link::Operation m_operation; // last: ends before the members its deliveries use
};

} // namespace xlt::monitor
