#include "MonitorRun.h"

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <utility>

namespace xlt::monitor {

namespace {
constexpr const char *kHolderName = "traffic monitor";
constexpr const char *kNoDevice = "No XLT device detected";
constexpr const char *kLogErrorTail =
    "\n\nThe monitor goes on listing; each file's failure is shown once per run.";
} // namespace

MonitorRun::MonitorRun(link::DeviceContext &context, TrafficListing &listing, Clock clock)
    : m_context(context)
    , m_listing(listing)
{
    setClock(std::move(clock));
}

void MonitorRun::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&QDateTime::currentDateTime);
}

MonitorRun::~MonitorRun()
{
    end();
}

void MonitorRun::start(const QString &logDir, const std::function<void(StartResult)> &done)
{
    if (m_state != State::Idle)
        return done(StartResult::AlreadyRunning);
    if (link::refuseWhileHeld(m_context))
        return done(StartResult::Refused);
    if (link::FindXLTPort(m_context) == 0) {
        m_context.notifier.message(core::Icon::Exclamation, kNoDevice);
        return done(StartResult::NoDevice);
    }
    m_logBaseName = TrafficLog::baseName(m_clock());
    m_log.emplace(logDir, m_logBaseName);
    m_listing.resetCounts();

    // Held from before the open: nothing else may use the port while the run has it.
    m_hold.emplace(m_context, kHolderName);
    m_state = State::Starting;
    ++m_runNumber;
    // A Stop pressed while the start is under way counts: the first poll then ends the run.
    m_stopRequested = false;
    link::OpenXLTComPort(m_context, m_lifetime.guard([this, done](bool opened) {
        if (!opened)
            return started(false, StartResult::PortNotOpened, done);
        link::XLTPacket &packet = m_context.CmdPacket;
        packet.CommandLength = 2;
        packet.CommandData[0] = link::kCmdCaptureStart;
        packet.CommandData[1] = 1;
        link::RunXLTCommand(m_context, m_lifetime.guard([this, done](bool ok) {
            started(ok, StartResult::CaptureStartFailed, done);
        }));
    }));
}

void MonitorRun::started(bool ok, StartResult failure, const std::function<void(StartResult)> &done)
{
    if (m_state != State::Starting) // ended meanwhile: end() has closed the port
        return done(StartResult::Ended);
    if (!ok) {
        m_state = State::Idle;
        m_hold.reset();
        return done(failure);
    }
    m_logFilesTold.clear();
    m_ending = Ending::None;
    m_state = State::Running;
    done(StartResult::Started);
}

void MonitorRun::tick(const std::function<void(bool again)> &done)
{
    if (m_state != State::Running)
        return done(false);
    link::XLTPacket &packet = m_context.CmdPacket;
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdCaptureRead;
    link::RunXLTCommand(m_context, m_lifetime.guard([this, done, run = m_runNumber](bool ok) {
        const bool current = run == m_runNumber && m_state == State::Running;
        if (!ok) {
            // The transaction has shown its message and closed the port.
            if (current)
                finish(Ending::ExchangeFailed);
            return done(false);
        }
        listed(current, done);
    }));
}

void MonitorRun::listed(bool current, const std::function<void(bool)> &done)
{
    const link::XLTPacket &packet = m_context.CmdPacket;
    if (packet.ReplyLength > 0)
        writeLogs(m_listing.ProcessCapture(packet));
    if (!current)
        return done(false);
    if (!m_stopRequested)
        return done(true);
    link::CloseXLTComPort(m_context);
    finish(Ending::Stopped);
    done(false);
}

void MonitorRun::end()
{
    if (m_state == State::Idle)
        return;
    link::CloseXLTComPort(m_context);
    finish(Ending::Ended);
}

void MonitorRun::finish(Ending ending)
{
    m_ending = ending;
    m_state = State::Idle;
    m_hold.reset();
}

void MonitorRun::writeLogs(const TrafficListing::Added &added)
{
    if (!m_log)
        return;
    std::string errors;
    const std::pair<QString, std::string> results[] = {
        {m_log->targetPath(), m_log->appendTarget(added.target)},
        {m_log->hostPath(), m_log->appendHost(added.host)}};
    // Each failing file is told once per run: a message per reply would hold the run up every
    // 50 ms. Later replies keep trying, so the files pick up again if the directory comes back.
    for (const auto &[path, error] : results) {
        if (!error.empty() && m_logFilesTold.insert(path).second)
            errors += (errors.empty() ? "" : "\n") + error;
    }
    if (errors.empty())
        return;
    m_context.notifier.message(core::Icon::Exclamation, errors + kLogErrorTail);
}

} // namespace xlt::monitor
