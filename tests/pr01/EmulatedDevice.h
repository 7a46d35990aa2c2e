#pragma once

// The emulated device in-process on COM5, with a recording notifier, as PR01 logic sees it.

#include "link/DeviceContext.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

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
    CountingPump pump;
    link::DeviceContext context{inProcess, ports, notifier, pump};
};

} // namespace xlt::test
