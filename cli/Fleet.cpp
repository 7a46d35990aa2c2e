#include "Fleet.h"

#include "ChildProcesses.h"
#include "CliContext.h"
#include "Printable.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <cstdio>

namespace xlt::cli {

std::vector<link::PortRecord> devicePorts(link::PortSource &source)
{
    std::vector<link::PortRecord> records = source.ports();
    std::erase_if(records, [](const link::PortRecord &record) {
        return link::devicePortNumber(record) == 0;
    });
    return records;
}

std::optional<link::PortRecord> portRecord(link::PortSource &source, std::uint16_t portNumber)
{
    for (link::PortRecord &record : source.ports()) {
        if (portNumber != 0 && link::devicePortNumber(record) == portNumber)
            return std::move(record);
    }
    return std::nullopt;
}

QJsonObject portFields(const link::PortRecord &record)
{
    return {{QStringLiteral("port"), QString::fromLatin1(record.portName)},
            {QStringLiteral("device"), QString::fromStdString(record.devicePath)},
            {QStringLiteral("serial"), record.serialNumber.empty()
                                           ? QJsonValue()
                                           : QJsonValue(QString::fromLatin1(record.serialNumber))}};
}

namespace {

/// The reason in a line of a run's standard error: "xltctl: text" or "xltctl update: text"
/// gives "text"; other lines (progress, identity lines, the port it talks to) give nothing.
std::string reasonOf(const std::string &line)
{
    const std::size_t colon = line.find(": ");
    // "xltctl" and at most one word, the command's, before the colon.
    if (!line.starts_with("xltctl") || colon == std::string::npos || colon < 6 ||
        line.find(' ', 7) < colon)
        return {};
    std::string text = line.substr(colon + 2);
    return text.starts_with("talking to the XLT device on ") ? std::string() : text;
}

} // namespace

std::vector<ChildRun> runForEach(const std::vector<link::PortRecord> &ports,
                                 const std::function<Args(std::size_t)> &words,
                                 const std::function<void(std::size_t, const std::string &)> &line)
{
    std::vector<ChildRun> runs(ports.size());
    std::vector<Args> argvs;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        runs[i].port = ports[i];
        Args argv{"xltctl", "--device", ports[i].devicePath};
        const Args more = words(i);
        argv.insert(argv.end(), more.begin(), more.end());
        argvs.push_back(std::move(argv));
    }
    std::vector<std::string> pending(ports.size()); // standard error after its last whole line
    const auto takeError = [&](std::size_t i, std::string_view data) {
        pending[i].append(data);
        for (std::size_t end; (end = pending[i].find('\n')) != std::string::npos;) {
            // A line of a Windows run ends in CR LF.
            const std::size_t cut = end > 0 && pending[i][end - 1] == '\r' ? end - 1 : end;
            const std::string text = pending[i].substr(0, cut);
            pending[i].erase(0, end + 1);
            if (std::string reason = reasonOf(text); !reason.empty())
                runs[i].message = std::move(reason);
            if (line)
                line(i, text);
        }
    };
    const auto started = std::chrono::steady_clock::now();
    const std::vector<int> codes = runChildren(
        argvs,
        [&](std::size_t i, int stream, std::string_view data) {
            if (stream == 0)
                runs[i].out.append(data);
            else
                takeError(i, data);
        },
        [&](std::size_t i) {
            runs[i].time = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
        });
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!pending[i].empty())
            takeError(i, "\n");
        runs[i].exitCode = codes[i] == kNotStarted ? -1 : codes[i];
        if (codes[i] == kNotStarted)
            runs[i].message = "xltctl could not be started again for this device";
    }
    return runs;
}

FleetEntry entryOf(const ChildRun &run, const char *success)
{
    FleetEntry entry;
    entry.port = run.port;
    entry.ok = run.exitCode == 0;
    entry.result = entry.ok            ? success
                   : run.exitCode == 3 ? "no device"
                   : run.exitCode < 0  ? "crashed"
                                       : "failed";
    if (!entry.ok)
        entry.message = run.message;
    entry.time = run.time;
    return entry;
}

QJsonObject jsonObjectOf(const std::string &out)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

int printFleetReport(const std::vector<FleetEntry> &entries, bool json)
{
    const auto seconds = [](std::chrono::milliseconds time) { return double(time.count()) / 1000; };
    const bool allOk = std::all_of(entries.begin(), entries.end(),
                                   [](const FleetEntry &entry) { return entry.ok; });
    if (json) {
        QJsonArray list;
        for (const FleetEntry &entry : entries) {
            QJsonObject object = portFields(entry.port);
            for (auto field = entry.fields.begin(); field != entry.fields.end(); ++field)
                object.insert(field.key(), field.value());
            object.insert(QStringLiteral("result"), QString::fromStdString(entry.result));
            object.insert(QStringLiteral("message"),
                          entry.message.empty() ? QJsonValue()
                                                : QJsonValue(QString::fromLatin1(entry.message)));
            object.insert(QStringLiteral("seconds"), seconds(entry.time));
            list.append(object);
        }
        const QByteArray text = QJsonDocument(list).toJson(QJsonDocument::Indented);
        std::fwrite(text.data(), 1, static_cast<std::size_t>(text.size()), stdout);
        return allOk ? 0 : 1;
    }
    std::size_t failed = 0;
    for (const FleetEntry &entry : entries) {
        std::string line = printable(entry.port.portName) + "  " + shownPath(entry.port.devicePath);
        if (!entry.port.serialNumber.empty())
            line += "  serial " + printable(entry.port.serialNumber);
        if (!entry.detail.empty())
            line += "  " + entry.detail;
        line += "  " + entry.result;
        if (!entry.message.empty())
            line += ": " + printable(entry.message);
        char time[32];
        std::snprintf(time, sizeof time, "  %.1f s", seconds(entry.time));
        std::printf("%s%s\n", line.c_str(), time);
        failed += entry.ok ? 0 : 1;
    }
    std::printf("%zu device%s: %zu succeeded, %zu failed\n", entries.size(),
                entries.size() == 1 ? "" : "s", entries.size() - failed, failed);
    return allOk ? 0 : 1;
}

std::optional<std::vector<link::PortRecord>> fleetPorts(const char *command, int &exitCode)
{
    if (!portChoice().empty()) {
        std::fprintf(stderr, "xltctl %s: --all and --port or --device exclude each other\n",
                     command);
        exitCode = 2;
        return std::nullopt;
    }
    const std::unique_ptr<link::PortSource> source = link::makeSystemPortSource();
    std::vector<link::PortRecord> ports = devicePorts(*source);
    if (ports.empty()) {
        std::fprintf(stderr, "xltctl: %s\n", link::kNoDeviceText);
        exitCode = 3;
        return std::nullopt;
    }
    return ports;
}

} // namespace xlt::cli
