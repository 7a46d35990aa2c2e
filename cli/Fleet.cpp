#include "Fleet.h"

#include "CliContext.h"
#include "Printable.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

/// A run in progress: its process and the read ends of its two output pipes (-1 once closed).
struct Child
{
    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1};
    std::string pending; ///< standard error after its last complete line
    std::chrono::steady_clock::time_point started;
};

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

bool spawnChild(const link::PortRecord &port, const Args &words, Child &child)
{
    Args argv{"xltctl", "--device", port.devicePath};
    argv.insert(argv.end(), words.begin(), words.end());
    std::vector<char *> pointers;
    for (std::string &word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    std::array<std::array<int, 2>, 2> pipes{};
    if (::pipe2(pipes[0].data(), O_CLOEXEC) != 0)
        return false;
    if (::pipe2(pipes[1].data(), O_CLOEXEC) != 0) {
        ::close(pipes[0][0]);
        ::close(pipes[0][1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes[0][1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipes[1][1], 2);
    // The program itself, whatever its name or folder.
    const bool spawned = ::posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr,
                                       pointers.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    for (auto &pipe : pipes)
        ::close(pipe[1]);
    child.fds = {pipes[0][0], pipes[1][0]};
    child.started = std::chrono::steady_clock::now();
    if (!spawned) {
        for (int fd : child.fds)
            ::close(fd);
        child.fds = {-1, -1};
    }
    return spawned;
}

} // namespace

std::vector<ChildRun> runForEach(const std::vector<link::PortRecord> &ports,
                                 const std::function<Args(std::size_t)> &words,
                                 const std::function<void(std::size_t, const std::string &)> &line)
{
    std::vector<ChildRun> runs(ports.size());
    std::vector<Child> children(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        runs[i].port = ports[i];
        if (!spawnChild(ports[i], words(i), children[i]))
            runs[i].message = "xltctl could not be started again for this device";
    }
    const auto take = [&](std::size_t i, int stream, const char *data, std::size_t size) {
        if (stream == 0) {
            runs[i].out.append(data, size);
            return;
        }
        std::string &pending = children[i].pending;
        pending.append(data, size);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (std::string reason = reasonOf(text); !reason.empty())
                runs[i].message = std::move(reason);
            if (line)
                line(i, text);
        }
    };
    for (;;) {
        std::vector<pollfd> watched;
        std::vector<std::pair<std::size_t, int>> owners;
        for (std::size_t i = 0; i < children.size(); ++i) {
            for (int stream = 0; stream < 2; ++stream) {
                if (children[i].fds[std::size_t(stream)] >= 0) {
                    watched.push_back({children[i].fds[std::size_t(stream)], POLLIN, 0});
                    owners.emplace_back(i, stream);
                }
            }
        }
        if (watched.empty())
            break;
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            break;
        for (std::size_t w = 0; w < watched.size(); ++w) {
            if (!(watched[w].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const auto [i, stream] = owners[w];
            std::array<char, 4096> buffer{};
            const ssize_t got = ::read(watched[w].fd, buffer.data(), buffer.size());
            if (got > 0) {
                take(i, stream, buffer.data(), std::size_t(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(watched[w].fd);
                children[i].fds[std::size_t(stream)] = -1;
                // Both outputs closed: the run has ended (or is about to).
                if (children[i].fds == std::array<int, 2>{-1, -1})
                    runs[i].time = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - children[i].started);
            }
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i].pid < 0)
            continue;
        if (!children[i].pending.empty())
            take(i, 1, "\n", 1);
        int status = 0;
        while (::waitpid(children[i].pid, &status, 0) < 0 && errno == EINTR) {
        }
        runs[i].exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
