// Shared by the monitor tests: frames and capture records, recording lists, settings, log files,
// and a device that answers when the test says (also used by the app's line tests).
#pragma once

#include "link/LineWorker.h"
#include "monitor/TrafficListing.h"
#include "session/Settings.h"
#include "support/FakeLink.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace xlt::montest {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

inline const std::string kRule = " ---------------------------------------------------------------";

/// Bytes from hex digit pairs ("7F 80 01 07"; blanks ignored).
inline Bytes bytesOf(const std::string &hex)
{
    Bytes out;
    for (std::size_t i = hex.find_first_not_of(' '); i < hex.size();
         i = hex.find_first_not_of(' ', i + 2))
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string repeated(const char *text, int times)
{
    return QString(text).repeated(times).toStdString();
}

/// One capture record: tag, time offset (4 bytes, little-endian), FrameLength, frame.
inline Bytes record(std::uint8_t tag, std::uint32_t offset, const Bytes &frame)
{
    Bytes out{tag};
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(offset >> shift));
    out.push_back(static_cast<std::uint8_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

/// Records, or lines, one after the other.
template<typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline const Bytes kSspPoll = bytesOf("7F 80 01 07 12 02");
inline const Bytes kSspOk = bytesOf("7F 80 01 F0 23 80");
inline const Bytes kStatusRequest = bytesOf("FC 05 11 27 56");
inline const Bytes kDisabled = bytesOf("FC 05 1A F4 E8");

/// A list that also remembers every line ever added, cleared or not, and the selection.
struct RecordingList final : monitor::LineList
{
    std::size_t count() const override { return lines.size(); }
    void clear() override { lines.clear(); }
    void add(const std::string &line) override
    {
        lines.push_back(line);
        history.push_back(line);
    }
    void selectLast() override { selected = lines.size(); }
    Lines lines;
    Lines history;
    std::size_t selected = 0; // lines when selectLast() was last called
};

struct RecordingLabel final : monitor::TextLabel
{
    void setText(const std::string &value) override { text = value; }
    std::string text;
};

/// Settings in memory: every read gives `value`, as set by the test or written last.
struct MemoryStore final : session::SettingsStore
{
    QString read(const QString &, const QString &, const QString &) override { return value; }
    void write(const QString &section, const QString &key, const QString &text) override
    {
        writes.push_back((section + "/" + key + "=" + text).toStdString());
        value = text;
    }
    QString value;
    Lines writes;
};

/// The lines of a log file split at CRLF (nullopt: no file); fails on a bare LF or a last line
/// without CRLF.
inline std::optional<Lines> logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> parts = file.readAll().split('\n');
    EXPECT_TRUE(parts.takeLast().isEmpty()) << "no CRLF at the end of " << path.toStdString();
    Lines lines;
    for (const QByteArray &line : parts) {
        EXPECT_TRUE(line.endsWith('\r')) << "bare LF in " << path.toStdString();
        lines.emplace_back(line.constData(), static_cast<std::size_t>(line.size()) - 1);
    }
    return lines;
}

inline std::optional<Lines> logLines(const std::string &path)
{
    return logLines(QString::fromStdString(path));
}

/// A device whose answers the test hands out, for a line on a thread of its own (a LineWorker,
/// through linkFactory()). Each exchange waits until the test lets it through, and then answers
/// with the reply given to answer(), or from `responder` (ReplyOk without data when unset); it
/// gives up as the link does when the operation is interrupted: CommandTimeOut, port closed.
/// With `holdOpens` each open waits for its turn as well, interrupt or not (as a port being
/// opened does), up to five seconds. Every command is recorded as it is sent, also on a closed
/// port. Safe to use from both threads; set `holdOpens` and `responder` before the line runs.
class HeldLink final : public link::LinkLibrary
{
public:
    using Reply = test::FakeLink::Reply;

    /// Lets the waiting (or the next) step through; an exchange gets `reply`.
    void answer(std::optional<Reply> reply = std::nullopt)
    {
        const std::lock_guard lock(m_mutex);
        m_passes.push_back(std::move(reply));
        m_changed.notify_all();
    }
    /// Every step goes through at once from now on.
    void passAll()
    {
        const std::lock_guard lock(m_mutex);
        m_passAll = true;
        m_changed.notify_all();
    }
    /// What waits for the test: "open", "command N" (N the command code), or "".
    std::string held() const
    {
        const std::lock_guard lock(m_mutex);
        return m_passes.empty() ? m_held : std::string();
    }
    std::vector<Bytes> sent() const
    {
        const std::lock_guard lock(m_mutex);
        return m_sent;
    }
    bool isOpen() const
    {
        const std::lock_guard lock(m_mutex);
        return m_open;
    }

    bool holdOpens = false;
    std::function<Reply(const Bytes &)> responder;

    std::int16_t OpenXLTComPort(link::XLTPacket &) override
    {
        std::unique_lock lock(m_mutex);
        if (holdOpens && !waitForPass(lock, "open", false))
            return 0;
        m_open = true;
        return 1;
    }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        std::unique_lock lock(m_mutex);
        const Bytes command(packet.CommandData, packet.CommandData + packet.CommandLength);
        m_sent.push_back(command);
        packet.ReplyStatus = link::ComPortClosed;
        if (!m_open)
            return 0;
        const std::optional<std::optional<Reply>> given =
            waitForPass(lock, "command " + std::to_string(command.at(0)), true);
        if (!given) {
            packet.ReplyStatus = link::CommandTimeOut;
            m_open = false;
            return 0;
        }
        const Reply reply = given->has_value() ? **given : responder ? responder(command) : Reply{};
        packet.ReplyStatus = reply.status;
        if (reply.status == link::ReplyOk) {
            packet.ReplyLength =
                static_cast<std::uint8_t>(std::min<std::size_t>(reply.data.size(), 255));
            std::copy_n(reply.data.begin(), packet.ReplyLength, packet.ReplyData);
        } else {
            m_open = false;
        }
        return 0;
    }
    std::int16_t CloseXLTComPort() override
    {
        const std::lock_guard lock(m_mutex);
        m_open = false;
        return 0;
    }
    void setInterrupt(std::function<bool()> interrupted) override
    {
        m_interrupted = std::move(interrupted); // on the line's thread only
    }

private:
    /// Waits for a pass (nullopt: interrupted or given up); a pass of its own is the reply.
    std::optional<std::optional<Reply>> waitForPass(std::unique_lock<std::mutex> &lock,
                                                    std::string what, bool interruptible)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        m_held = std::move(what);
        std::optional<std::optional<Reply>> pass;
        while (!pass) {
            if (m_passAll) {
                pass.emplace();
            } else if (!m_passes.empty()) {
                pass.emplace(std::move(m_passes.front()));
                m_passes.pop_front();
            } else if ((interruptible && m_interrupted && m_interrupted()) ||
                       std::chrono::steady_clock::now() > giveUp) {
                break;
            } else {
                m_changed.wait_for(lock, std::chrono::milliseconds(2));
            }
        }
        m_held.clear();
        return pass;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::optional<Reply>> m_passes;
    bool m_passAll = false;
    std::string m_held;
    bool m_open = false;
    std::vector<Bytes> m_sent;
    std::function<bool()> m_interrupted;
};

/// Hands the test's `link` to a LineWorker, which owns what its factory makes.
inline link::LineWorker::LinkFactory linkFactory(link::LinkLibrary &link)
{
    class Ref final : public link::LinkLibrary
    {
    public:
        explicit Ref(link::LinkLibrary &inner)
            : m_inner(inner)
        {}
        std::int16_t OpenXLTComPort(link::XLTPacket &p) override
        {
            return m_inner.OpenXLTComPort(p);
        }
        std::int16_t XLTSendCommand(link::XLTPacket &p) override
        {
            return m_inner.XLTSendCommand(p);
        }
        std::int16_t CloseXLTComPort() override { return m_inner.CloseXLTComPort(); }
        std::string openFailureText() const override { return m_inner.openFailureText(); }
        void setInterrupt(std::function<bool()> f) override { m_inner.setInterrupt(std::move(f)); }

    private:
        link::LinkLibrary &m_inner;
    };
    return [&link] { return std::make_unique<Ref>(link); };
}

/// Waits on the window thread until the jobs queued on `line` before this call have ended, and
/// delivers what they posted. False after `ms` milliseconds.
inline bool settle(link::DeviceLine &line, int ms = 5000)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    line.submit([done](link::LinkLibrary &) { *done = true; });
    const bool ended = QTest::qWaitFor([&] { return done->load(); }, ms);
    QCoreApplication::processEvents();
    return ended;
}

} // namespace xlt::montest
