#include "MonitorRun.h"

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <string>
#include <utility>

namespace xlt::monitor {

namespace {
constexpr const char *kHolderName = "traffic monitor";
constexpr const char *kLogErrorTail =
    "\n\nThe monitor goes on listing; each file's failure is shown once per run.";
} // namespace

MonitorRun::MonitorRun(link::DeviceContext &context, TrafficListing &listing, Clock clock)
    : m_context(context)
    , m_listing(listing)
    , m_operation(context)
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

void MonitorRun::start(const std::filesystem::path &logDir, Events events)
{
    if (m_state != State::Idle) {
        if (events.started)
            events.started(StartResult::AlreadyRunning);
        return;
    }
    m_startedAt = m_clock();
    m_logBaseName = TrafficLog::baseName(m_startedAt);
    m_log.emplace(logDir, m_logBaseName);
    m_listing.resetCounts();
    m_logFilesTold.clear();
    m_ending = Ending::None;
    m_events = std::move(events);
    m_state = State::Starting;
    const bool launched = m_operation.start(
        kHolderName, [this](link::Flow &flow) { runOnLine(flow); },
        [this] {
            m_state = State::Idle;
            if (m_ending != Ending::None && m_events.ended)
                m_events.ended(m_ending);
        });
    if (!launched) {
        m_state = State::Idle;
        if (m_events.started)
            m_events.started(StartResult::Refused);
    }
}

// On the line. Only `flow` is used here; what reaches this object is posted.
void MonitorRun::runOnLine(link::Flow &flow)
{
    link::XLTPacket &packet = flow.CmdPacket;
    const auto fail = [this, &flow](StartResult result) {
        flow.post([this, result] { started(result); });
    };
    if (link::FindXLTPort(flow) == 0) {
        flow.tell(core::Icon::Exclamation, link::kNoDeviceText);
        return fail(StartResult::NoDevice);
    }
    if (link::OpenXLTComPort(flow, packet) == 0)
        return fail(StartResult::PortNotOpened);
    packet.CommandLength = 2;
    packet.CommandData[0] = link::kCmdCaptureStart;
    packet.CommandData[1] = 1;
    if (!link::RunXLTCommand(flow, packet))
        return fail(StartResult::CaptureStartFailed);
    flow.post([this, port = flow.XLTPortNumber] {
        m_portName = "COM" + std::to_string(port);
        started(StartResult::Started);
    });

    // Each poll starts 50 ms after the previous reply came in; the owner lists it meanwhile.
    for (;;) {
        if (!flow.pause(kPollInterval))
            return link::CloseXLTComPort(flow);
        packet.CommandLength = 1;
        packet.CommandData[0] = link::kCmdCaptureRead;
        if (!link::RunXLTCommand(flow, packet)) {
            // The transaction has shown its message and closed the port.
            return flow.post([this] { m_ending = Ending::ExchangeFailed; });
        }
        flow.post([this, reply = packet] { listed(reply); });
        if (flow.stopRequested()) {
            link::CloseXLTComPort(flow);
            return flow.post([this] { m_ending = Ending::Stopped; });
        }
    }
}

void MonitorRun::started(StartResult result)
{
    m_state = result == StartResult::Started ? State::Running : State::Idle;
    if (m_events.started)
        m_events.started(result);
}

void MonitorRun::listed(const link::XLTPacket &reply)
{
    if (reply.ReplyLength > 0)
        writeLogs(m_listing.ProcessCapture(reply));
    if (m_events.replied)
        m_events.replied(reply);
}

void MonitorRun::end()
{
    if (m_state == State::Idle && !m_operation.running())
        return;
    m_operation.cancel();
    m_state = State::Idle;
    m_ending = Ending::Ended;
}

void MonitorRun::writeLogs(const TrafficListing::Added &added)
{
    if (!m_log)
        return;
    std::string errors;
    const std::pair<std::filesystem::path, std::string> results[] = {
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
    // Shown from the event loop, not from inside this delivery: while the box is open the
    // replies behind this one are still listed and logged.
    m_operation.later([this, text = errors + kLogErrorTail] {
        m_context.notifier.message(core::Icon::Exclamation, text);
    });
}

} // namespace xlt::monitor
