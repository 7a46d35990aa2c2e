#pragma once

// A device that answers when the test says, for operations on a real line thread: a window's
// operation can be held "in flight" at any exchange, then answered, cancelled or interrupted.

#include "link/LineWorker.h"
#include "support/FakeLink.h"

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace xlt::test {

using Bytes = std::vector<std::uint8_t>;

/// A device whose answers the test hands out, for a line on a thread of its own (a LineWorker,
/// through linkFactory()). Each exchange waits until the test lets it through, and then answers
/// with the reply given to answer(), or from `responder` (ReplyOk without data when it is not
/// set); it gives up as the link does when the operation is interrupted, or after the record's
/// time-out: CommandTimeOut, port closed.
/// With `holdOpens` each open waits for its turn as well, interrupt or not (as a port being
/// opened does), up to five seconds. Every command is recorded as it is sent, also on a closed
/// port. Safe to use from both threads; set `responder` before the line runs.
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

    std::atomic<bool> holdOpens{false};
    std::function<Reply(const Bytes &)> responder;

    std::int16_t OpenXLTComPort(link::XLTPacket &) override
    {
        std::unique_lock lock(m_mutex);
        m_open = !holdOpens || waitForPass(lock, "open", false);
        return m_open ? 1 : 0;
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
            waitForPass(lock, "command " + std::to_string(command.at(0)), true,
                        std::chrono::milliseconds(packet.Timeout ? packet.Timeout : 5000));
        if (!given) {
            packet.ReplyStatus = link::CommandTimeOut;
            m_open = false;
            return 0;
        }
        const Reply reply = given->has_value() ? **given : responder ? responder(command) : Reply{};
        packet.ReplyStatus = reply.status;
        m_open = reply.status == link::ReplyOk;
        if (m_open) {
            packet.ReplyLength =
                static_cast<std::uint8_t>(std::min<std::size_t>(reply.data.size(), 255));
            std::copy_n(reply.data.begin(), packet.ReplyLength, packet.ReplyData);
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
    std::optional<std::optional<Reply>>
    waitForPass(std::unique_lock<std::mutex> &lock, std::string what, bool interruptible,
                std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        const auto giveUp =
            std::chrono::steady_clock::now() + std::min(limit, std::chrono::milliseconds(5000));
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

/// Hands every step on to `inner`; a test overrides the steps it watches.
class ForwardingLink : public link::LinkLibrary
{
public:
    explicit ForwardingLink(link::LinkLibrary &innerLink)
        : inner(innerLink)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &p) override { return inner.OpenXLTComPort(p); }
    std::int16_t XLTSendCommand(link::XLTPacket &p) override { return inner.XLTSendCommand(p); }
    std::int16_t CloseXLTComPort() override { return inner.CloseXLTComPort(); }
    std::string openFailureText() const override { return inner.openFailureText(); }
    void setInterrupt(std::function<bool()> f) override { inner.setInterrupt(std::move(f)); }

    link::LinkLibrary &inner;
};

/// Hands the test's `link` to a LineWorker, which owns what its factory makes.
inline link::LineWorker::LinkFactory linkFactory(link::LinkLibrary &link)
{
    return [&link] { return std::make_unique<ForwardingLink>(link); };
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

} // namespace xlt::test
