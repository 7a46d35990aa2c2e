#pragma once

#include "core/EventPump.h"
#include "core/Scheduler.h"
#include "link/DeviceLine.h"
#include "link/LinkLibrary.h"
#include "link/PortSource.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace xlt::test {

/// A scripted link: records what is sent and answers from a queue or a responder function.
class FakeLink final : public link::LinkLibrary
{
public:
    struct Reply
    {
        std::uint8_t status = link::ReplyOk;
        std::vector<std::uint8_t> data;
    };

    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override
    {
        ++openCalls;
        openedPort = packet.PortNumber;
        isOpen = openSucceeds;
        return isOpen ? 1 : 0;
    }

    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        if (!isOpen) {
            packet.ReplyStatus = link::ComPortClosed;
            return 0;
        }
        std::vector<std::uint8_t> command(packet.CommandData,
                                          packet.CommandData + packet.CommandLength);
        sent.push_back(command);
        Reply reply;
        if (!replies.empty()) {
            reply = replies.front();
            replies.pop_front();
        } else if (responder) {
            reply = responder(command);
        }
        packet.ReplyStatus = reply.status;
        if (reply.status == link::ReplyOk) {
            const std::size_t n = std::min<std::size_t>(reply.data.size(), 255);
            packet.ReplyLength = static_cast<std::uint8_t>(n);
            std::copy_n(reply.data.begin(), n, packet.ReplyData);
        }
        return 0;
    }

    std::int16_t CloseXLTComPort() override
    {
        ++closeCalls;
        isOpen = false;
        return 0;
    }
    std::string openFailureText() const override { return isOpen ? std::string() : whyNotOpen; }

    bool openSucceeds = true;
    std::string whyNotOpen; ///< what openFailureText() says after a failed open
    bool isOpen = false;
    int openCalls = 0;
    int closeCalls = 0;
    std::uint8_t openedPort = 0;
    std::vector<std::vector<std::uint8_t>> sent;
    std::deque<Reply> replies;
    std::function<Reply(const std::vector<std::uint8_t> &)> responder;
};

/// A fixed list of ports.
class FakePortSource final : public link::PortSource
{
public:
    std::vector<link::PortRecord> ports() override { return records; }
    std::vector<link::PortRecord> records;
};

/// A pump that counts its calls.
class CountingPump final : public core::EventPump
{
public:
    void processEvents() override
    {
        ++calls;
        if (onPump)
            onPump();
    }
    int calls = 0;
    std::function<void()> onPump;
};

/// A line that holds every request until the test lets it run: requests "in flight" for as
/// long as a test wants, without threads. runNext() runs the oldest job and its `done`.
class ManualLine final : public link::DeviceLine
{
public:
    explicit ManualLine(link::LinkLibrary &link)
        : m_link(link)
    {}
    void submit(Job job, Done done) override
    {
        m_queue.emplace_back(std::move(job), std::move(done));
    }
    bool immediate() const override { return false; }

    std::size_t pending() const { return m_queue.size(); }
    /// False when nothing was waiting.
    bool runNext()
    {
        if (m_queue.empty())
            return false;
        auto [job, done] = std::move(m_queue.front());
        m_queue.pop_front();
        if (job)
            job(m_link);
        if (done)
            done();
        return true;
    }
    /// Runs requests, including those the finished ones submit, until none is waiting.
    int runAll()
    {
        int count = 0;
        while (runNext())
            ++count;
        return count;
    }

private:
    link::LinkLibrary &m_link;
    std::deque<std::pair<Job, Done>> m_queue;
};

/// A scheduler that runs each action at once and adds up the delays it was asked for.
class ImmediateScheduler final : public core::Scheduler
{
public:
    void after(std::chrono::milliseconds delay, std::function<void()> action) override
    {
        delays.push_back(delay.count());
        totalMs += delay.count();
        if (onAfter)
            onAfter();
        action();
    }
    std::vector<long long> delays;
    long long totalMs = 0;
    std::function<void()> onAfter;
};

} // namespace xlt::test
