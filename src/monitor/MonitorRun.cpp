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

MonitorRun::StartResult MonitorRun::start(const QString &logDir)
{
    if (m_running)
        return StartResult::AlreadyRunning;
    if (link::refuseWhileHeld(m_context))
        return StartResult::Refused;
    if (link::FindXLTPort(m_context) == 0) {
        m_context.notifier.message(core::Icon::Exclamation, kNoDevice);
        return StartResult::NoDevice;
    }
    m_logBaseName = TrafficLog::baseName(m_clock());
    m_log.emplace(logDir, m_logBaseName);
    m_listing.resetCounts();

    // Held from before the open: the capture-start's failure message is modal and lets other
    // windows' handlers run while the port is still open.
    m_hold.emplace(m_context, kHolderName);
    link::XLTPacket &packet = m_context.CmdPacket;
    if (link::OpenXLTComPort(m_context, packet) == 0) {
        m_hold.reset();
        return StartResult::PortNotOpened;
    }
    packet.CommandLength = 2;
    packet.CommandData[0] = link::kCmdCaptureStart;
    packet.CommandData[1] = 1;
    if (!link::RunXLTCommand(m_context, packet)) {
        m_hold.reset();
        return StartResult::CaptureStartFailed;
    }
    m_stopRequested = false;
    m_logFilesTold.clear();
    m_ending = Ending::None;
    m_running = true;
    return StartResult::Started;
}

bool MonitorRun::tick()
{
    if (!m_running)
        return false;
    link::XLTPacket &packet = m_context.CmdPacket;
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdCaptureRead;
    if (!link::RunXLTCommand(m_context, packet)) {
        finish(Ending::ExchangeFailed); // the transaction has shown its message, closed the port
        return false;
    }
    if (packet.ReplyLength > 0) {
        // Listed from a copy: events run during the listing, and once the run is ended from
        // one of them the shared record is free for other windows again.
        const link::XLTPacket reply = packet;
        writeLogs(m_listing.ProcessCapture(reply));
    }
    if (!m_running)
        return false;
    if (!m_stopRequested)
        return true;
    link::CloseXLTComPort(m_context);
    finish(Ending::Stopped);
    return false;
}

void MonitorRun::end()
{
    if (!m_running)
        return;
    link::CloseXLTComPort(m_context);
    finish(Ending::Ended);
}

void MonitorRun::finish(Ending ending)
{
    m_ending = ending;
    m_running = false;
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

ThrottledPump::ThrottledPump(core::EventPump &inner, std::chrono::milliseconds interval, Now now)
    : m_inner(inner)
    , m_interval(interval)
    , m_now(now ? std::move(now) : Now(&std::chrono::steady_clock::now))
{}

void ThrottledPump::restart()
{
    m_last = m_now();
}

void ThrottledPump::processEvents()
{
    const TimePoint now = m_now();
    if (!m_passRequested && now - m_last < m_interval)
        return;
    m_passRequested = false;
    m_inner.processEvents();
    m_last = m_now();
}

void ThrottledPump::pumpFor(std::chrono::milliseconds duration)
{
    m_inner.pumpFor(duration);
    m_last = m_now();
}

} // namespace xlt::monitor
