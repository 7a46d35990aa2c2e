#pragma once

// The emulated device on COM5 with a recording notifier, as PR01 logic and the window see it:
// on a line that runs at once with pauses that do not wait; and the PR01 procedures as xltctl
// runs them.

#include "link/DeviceContext.h"
#include "link/Operation.h"
#include "pr01/Pr01Device.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <optional>

namespace xlt::test {

struct EmulatedDevice
{
    explicit EmulatedDevice(sim::DeviceOptions options = {})
        : model(std::move(options))
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    }
    sim::DeviceModel model;
    sim::InProcessLink inProcess{model, std::uint8_t{5}};
    FakePortSource ports;
    RecordingNotifier notifier;
    RecordedPauses pauses; ///< detection polls at once; `onPause` runs between polls
    link::InlineLine line{inProcess, pauses.pause()};
    link::DeviceContext context{line, ports, notifier};
};

/// Reads the configuration on a line that runs at once: it has ended on return.
inline std::optional<pr01::Pr01Reading> readPr01(link::DeviceContext &context)
{
    return link::runToEnd<std::optional<pr01::Pr01Reading>>(context, pr01::kReadHolder,
                                                            &pr01::readPr01Configuration)
        .value();
}

/// Writes `texts` on a line that runs at once; true when the device took them.
inline bool writePr01(link::DeviceContext &context, const pr01::Pr01Texts &texts)
{
    link::Operation operation(context);
    std::optional<bool> ok;
    return pr01::startPr01Write(operation, context.notifier, texts, [&ok](bool r) { ok = r; }) &&
           ok.value();
}

} // namespace xlt::test
