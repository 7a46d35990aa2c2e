#pragma once

#include "core/EventPump.h"
#include "link/DeviceContext.h"
#include "link/DeviceLine.h"
#include "link/LinkLibrary.h"
#include "link/PortSource.h"
#include "support/RecordingNotifier.h"

#include <chrono>
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

/// Pauses that do not wait: each delay is added up, and `onPause` (if set) runs, so a test can
/// stop an operation after so many polls. Hand `pause()` to an InlineLine.
class RecordedPauses
{
public:
    link::InlineLine::Pause pause()
    {
        return [this](std::chrono::milliseconds delay) {
            delays.push_back(delay.count());
            totalMs += delay.count();
            if (onPause)
                onPause();
            return true;
        };
    }
    std::vector<long long> delays;
    long long totalMs = 0;
    std::function<void()> onPause;
};

/// A scripted device on COM5: a FakeLink on a line that runs operations at once, whose pauses
/// are recorded and do not wait.
struct FakeDevice
{
    FakeDevice() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}}; }
    /// The command codes sent, in order.
    std::vector<std::uint8_t> codes() const
    {
        std::vector<std::uint8_t> out;
        for (const auto &command : link.sent)
            out.push_back(command.at(0));
        return out;
    }

    FakeLink link;
    FakePortSource ports;
    RecordingNotifier notifier;
    RecordedPauses pauses;
    link::InlineLine line{link, pauses.pause()};
    link::DeviceContext context{line, ports, notifier};
};

} // namespace xlt::test
