#pragma once

// The emulated device on COM5 with a recording notifier, as PR01 logic and the window see it:
// on a line that runs at once with pauses that do not wait (EmulatedDevice), or behind a real
// line thread with a gate that holds a reply back (DeviceOnLine).

#include "link/DeviceContext.h"
#include "link/LineWorker.h"
#include "link/Operation.h"
#include "pr01/Pr01Device.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QTest>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace xlt::test {

/// The cable to the device: forwards to whichever device is plugged in, so that a test can
/// swap devices between operations.
class Cable final : public link::LinkLibrary
{
public:
    explicit Cable(link::LinkLibrary &device)
        : plugged(&device)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override
    {
        return plugged->OpenXLTComPort(packet);
    }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        return plugged->XLTSendCommand(packet);
    }
    std::int16_t CloseXLTComPort() override { return plugged->CloseXLTComPort(); }
    link::LinkLibrary *plugged;
};

struct EmulatedDevice
{
    explicit EmulatedDevice(sim::DeviceOptions options = {})
        : model(std::move(options))
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    }
    sim::DeviceModel model;
    sim::InProcessLink inProcess{model, std::uint8_t{5}};
    Cable cable{inProcess};
    FakePortSource ports;
    RecordingNotifier notifier;
    RecordedPauses pauses; ///< detection polls at once; `onPause` runs between polls
    link::InlineLine line{cable, pauses.pause()};
    link::DeviceContext context{line, ports, notifier};

    // The procedures as xltctl runs them: each has ended when it returns.
    std::optional<pr01::Pr01Reading> read()
    {
        return link::runToEnd<std::optional<pr01::Pr01Reading>>(context, pr01::kReadHolder,
                                                                &pr01::readPr01Configuration)
            .value();
    }
    bool write(const pr01::Pr01Texts &texts)
    {
        link::Operation operation(context);
        std::optional<bool> ok;
        if (!pr01::startPr01Write(operation, notifier, texts, [&ok](bool r) { ok = r; }))
            return false;
        return ok.value();
    }
};

/// Holds the device's reply to one command until the test lets it go, as a slow device would;
/// gives up, as a serial link does, once the operation is cancelled. Records every command's
/// code. Used from the line's thread and the test's.
class ReplyGate
{
public:
    void holdReplyTo(std::uint8_t code)
    {
        std::lock_guard lock(m_mutex);
        m_code = code;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_code.reset();
        m_released.notify_all();
    }
    /// True while a reply is held back.
    bool holding() const
    {
        std::lock_guard lock(m_mutex);
        return m_holding;
    }
    std::vector<std::uint8_t> sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

    /// On the line: records `code`, then waits while its reply is held. False when
    /// `interrupted` said so first.
    bool pass(std::uint8_t code, const std::function<bool()> &interrupted)
    {
        std::unique_lock lock(m_mutex);
        m_sent.push_back(code);
        m_holding = true;
        bool kept = true;
        while (m_code == code) {
            if (interrupted && interrupted()) {
                kept = false;
                break;
            }
            m_released.wait_for(lock, std::chrono::milliseconds(5));
        }
        m_holding = false;
        return kept;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::optional<std::uint8_t> m_code;
    bool m_holding = false;
    std::vector<std::uint8_t> m_sent;
};

/// A link whose replies pass the gate first. A reply given up on is a time-out with the port
/// closed, as the link contract has it.
class GatedLink final : public link::LinkLibrary
{
public:
    GatedLink(link::LinkLibrary &device, ReplyGate &gate)
        : m_device(device)
        , m_gate(gate)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override
    {
        return m_device.OpenXLTComPort(packet);
    }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        m_device.XLTSendCommand(packet);
        if (!m_gate.pass(packet.CommandData[0], m_interrupted)) {
            packet.ReplyStatus = link::CommandTimeOut;
            m_device.CloseXLTComPort();
        }
        return 0;
    }
    std::int16_t CloseXLTComPort() override { return m_device.CloseXLTComPort(); }
    void setInterrupt(std::function<bool()> interrupted) override
    {
        m_interrupted = std::move(interrupted);
    }

private:
    link::LinkLibrary &m_device;
    ReplyGate &m_gate;
    std::function<bool()> m_interrupted;
};

/// The emulated device behind a real line thread, as the program has it. While an operation
/// runs, the model and the link belong to the line: look at them after drain().
struct DeviceOnLine
{
    explicit DeviceOnLine(sim::DeviceOptions options = {})
        : model(std::move(options))
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    }
    /// Waits until every job submitted so far has ended and all it posted has been delivered.
    bool drain()
    {
        auto drained = std::make_shared<bool>(false);
        worker.submit(
            [this, drained](link::LinkLibrary &) { worker.post([drained] { *drained = true; }); });
        return QTest::qWaitFor([drained] { return *drained; }, 5000);
    }

    sim::DeviceModel model;
    sim::InProcessLink inProcess{model, std::uint8_t{5}};
    ReplyGate gate;
    FakePortSource ports;
    RecordingNotifier notifier;
    link::LineWorker worker{[this] { return std::make_unique<GatedLink>(inProcess, gate); }};
    link::DeviceContext context{worker, ports, notifier};
};

} // namespace xlt::test
