#include "MonitorRun.h"

#include "CaptureFile.h"
#include "Version.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <string>
#include <utility>

namespace xlt::monitor {

namespace {
constexpr const char *kHolderName = "traffic monitor";
constexpr const char *kLogErrorTail =
    "\n\nThe monitor goes on listing; each file's failure is shown once per run.";

/// The device node of port `portNumber` as the source lists it; empty when it has none.
std::string nodeOfPort(link::PortSource &ports, std::uint16_t portNumber)
{
    const std::string name = "COM" + std::to_string(portNumber);
    for (const link::PortRecord &record : ports.ports()) {
        if (record.portName == name)
            return record.devicePath;
    }
    return {};
}
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

void MonitorRun::start(const std::filesystem::path &logDir, Events events,
                       std::filesystem::path capturePath)
{
    if (m_state != State::Idle) {
        if (events.started)
            events.started(StartResult::AlreadyRunning);
        return;
    }
    m_startedAt = m_clock();
    m_logBaseName = TrafficLog::baseName(m_startedAt);
    m_log.emplace(logDir, m_logBaseName);
    m_capturePath = capturePath.empty() ? m_log->capturePath() : std::move(capturePath);
    m_captureHeader.clear();
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
    // The identity for the capture's header, asked on the open port and quietly: a device that
    // does not answer it still gets its run (the header says "unknown"), and one that answers
    // nothing is told once, by the capture start. A line that failed has closed the port: that
    // failure is the run's, told as every failed exchange.
    CaptureHeader header;
    header.portName = "COM" + std::to_string(flow.XLTPortNumber);
    header.deviceNode = nodeOfPort(flow.ports, flow.XLTPortNumber);
    header.program = app::kVersionText;
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdReadVersion;
    packet.ReplyStatus = link::CommandTimeOut;
    if (!flow.cancelled())
        flow.link.XLTSendCommand(packet);
    if (packet.ReplyStatus == link::ReplyOk) {
        header.identity = captureIdentity(std::span(packet.ReplyData, packet.ReplyLength));
    } else if (packet.ReplyStatus == link::PortError && !flow.cancelled()) {
        link::CloseXLTComPort(flow);
        flow.tell(core::Icon::Exclamation,
                  "XLT Command transmission error " + link::ReplyStatusText(link::PortError));
        return fail(StartResult::CaptureStartFailed);
    }
    packet.CommandLength = 2;
    packet.CommandData[0] = link::kCmdCaptureStart;
    packet.CommandData[1] = 1;
    if (!link::RunXLTCommand(flow, packet))
        return fail(StartResult::CaptureStartFailed);
    flow.post([this, header = std::move(header)]() mutable {
        m_portName = header.portName;
        header.started = captureTime(m_startedAt);
        m_captureHeader = captureHeaderText(header);
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
    if (reply.ReplyLength > 0) {
        const TrafficListing::Added added = m_listing.ProcessCapture(reply);
        writeFiles(added, captureReplyLine(std::span(reply.ReplyData, reply.ReplyLength)));
    }
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

void MonitorRun::writeFiles(const TrafficListing::Added &added, const std::string &captureText)
{
    if (!m_log)
        return;
    // The header goes with the first reply line, so that an unwritable folder is told once for
    // all three files, and stays due until it has been written.
    const std::string text = m_captureHeader + captureText;
    std::string captureError;
    QString reason;
    if (core::appendWhole(m_capturePath, QByteArrayView(text.data(), qsizetype(text.size())),
                          &reason))
        m_captureHeader.clear();
    else
        captureError = "The capture file " + core::pathText(m_capturePath) +
                       " could not be written: " + core::fromQString(reason);
    std::string errors;
    const std::pair<std::filesystem::path, std::string> results[] = {
        {m_log->targetPath(), m_log->appendTarget(added.target)},
        {m_log->hostPath(), m_log->appendHost(added.host)},
        {m_capturePath, captureError}};
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
