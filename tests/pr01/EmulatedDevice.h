#pragma once

// The emulated device on COM5 with a recording notifier, as PR01 logic and the window see it:
// on a line that runs at once with pauses that do not wait.

#include "link/DeviceContext.h"
#include "link/Operation.h"
#include "pr01/Pr01Device.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

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

} // namespace xlt::test
