#pragma once

// The emulated device in-process, behind a link that records every command, on port COM5 of a
// fixed port list, with a recording notifier: the device context a test hands to the PR01 logic.

#include "link/DeviceContext.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <vector>

namespace xlt::test {

/// Forwards to another link and records the commands sent.
class RecordingLink final : public link::LinkLibrary
{
public:
    explicit RecordingLink(link::LinkLibrary &inner) : m_inner(inner) {}
    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override
    {
        return m_inner.OpenXLTComPort(packet);
    }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        sent.emplace_back(packet.CommandData, packet.CommandData + packet.CommandLength);
        return m_inner.XLTSendCommand(packet);
    }
    std::int16_t CloseXLTComPort() override { return m_inner.CloseXLTComPort(); }

    /// How many times `command` was sent, compared in full.
    int count(const std::vector<std::uint8_t> &command) const
    {
        int n = 0;
        for (const auto &c : sent)
            n += c == command ? 1 : 0;
        return n;
    }

    std::vector<std::vector<std::uint8_t>> sent;

private:
    link::LinkLibrary &m_inner;
};

struct EmulatedDevice
{
    explicit EmulatedDevice(sim::DeviceOptions options = {}) : model(std::move(options))
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    }

    sim::DeviceModel model;
    sim::InProcessLink inProcess{model, std::uint8_t{5}};
    RecordingLink link{inProcess};
    FakePortSource ports;
    RecordingNotifier notifier;
    CountingPump pump;
    link::DeviceContext context{link, ports, notifier, pump};
};

} // namespace xlt::test
