#pragma once

// The emulated device in-process on COM5, with a recording notifier, as PR01 logic sees it.

#include "link/DeviceContext.h"
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
    ImmediateScheduler scheduler;
    link::DeviceContext context{inProcess, ports, notifier, scheduler};

    // The requests, with the in-process link's line: each has finished when it returns.
    bool check()
    {
        std::optional<bool> ok;
        pr01::CheckPR01Device(context, [&ok](bool result) { ok = result; });
        return ok.value();
    }
    std::optional<pr01::Pr01Reading> read()
    {
        std::optional<std::optional<pr01::Pr01Reading>> reading;
        pr01::readPr01Configuration(context, [&reading](auto result) { reading = result; });
        return reading.value();
    }
    bool write(const pr01::Pr01Texts &texts, std::optional<std::uint8_t> hostDrive = {})
    {
        std::optional<bool> ok;
        pr01::writePr01Configuration(context, texts, hostDrive,
                                     [&ok](bool result) { ok = result; });
        return ok.value();
    }
};

} // namespace xlt::test
