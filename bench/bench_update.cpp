// Firmware update against the emulated device on a pseudo-terminal: a 528-block image sent
// through the real serial link, the port opened and closed around each block, as the update
// window does it. Prints milliseconds per block.
//
// - Update528: the whole update without wire pacing. A pty moves bytes at once, so this is the
//   tool's own cost per block (framing, open, configure, exchange, close, progress), plus the
//   emulator's share of the machine.
// - Update528Paced: the emulator sends its replies at about 1.04 ms a byte, as at 9600 baud.
// - OpenClose: the port's open and close alone, the largest part of the tool's own cost.
// The first-stage pause is left out (timers that do not wait; the emulator copies at once): it
// is a fixed three seconds, not a per-block cost.
#include "link/DeviceContext.h"
#include "link/SerialLink.h"
#include "link/XLT_protocol.h"
#include "sim/PtyServer.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace xlt;

namespace {

constexpr int kBlocks = 528;

class NoPause final : public core::Scheduler
{
public:
    void after(std::chrono::milliseconds, std::function<void()> action) override { action(); }
};

class QuietNotifier final : public core::Notifier
{
public:
    void message(core::Icon, const std::string &text) override
    {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};

class NoProgress final : public update::ProgressSink
{
public:
    void setLabel(const std::string &) override {}
    void setMaximum(int) override {}
    void setValue(int) override {}
    void setBusy(bool) override {}
};

class OnePort final : public link::PortSource
{
public:
    explicit OnePort(std::string path)
        : m_path(std::move(path))
    {}
    std::vector<link::PortRecord> ports() override
    {
        return {{"\\Device\\USBSER000", "COM129", m_path}};
    }

private:
    std::string m_path;
};

update::UpdateImage makeImage()
{
    std::vector<std::uint8_t> bytes(128 + 128 * kBlocks);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    bytes[0] = 'X';
    bytes[1] = 'L';
    bytes[2] = 'T';
    bytes[5] = kBlocks % 256;
    bytes[6] = kBlocks / 256;
    return std::move(*update::openUpdateFile("bench.dpc", std::move(bytes)).image);
}

/// The emulator and a device context over the real serial link to it.
struct Rig
{
    explicit Rig(bool paced)
    {
        sim::DeviceOptions options;
        options.firstStageCopy = std::chrono::milliseconds{0};
        options.pace9600 = paced;
        std::string error;
        server = sim::PtyServer::start(options, {}, error);
        if (!server)
            return;
        ports = std::make_unique<OnePort>(server->devicePath());
        serial = std::make_unique<link::SerialLink>(*ports);
        device = std::make_unique<link::DeviceContext>(*serial, *ports, notifier, pump);
    }
    std::unique_ptr<sim::PtyServer> server;
    std::unique_ptr<OnePort> ports;
    std::unique_ptr<link::SerialLink> serial;
    QuietNotifier notifier;
    NoPause pump;
    std::unique_ptr<link::DeviceContext> device;
};

/// Wall time and process CPU time (the tool and the emulator's thread) of a measured stretch.
struct Stopwatch
{
    std::chrono::steady_clock::duration wall{};
    std::clock_t cpu = 0;
    std::chrono::steady_clock::time_point wallStart;
    std::clock_t cpuStart = 0;

    void start()
    {
        wallStart = std::chrono::steady_clock::now();
        cpuStart = std::clock();
    }
    void stop()
    {
        wall += std::chrono::steady_clock::now() - wallStart;
        cpu += std::clock() - cpuStart;
    }
};

void reportPerBlock(benchmark::State &state, const Stopwatch &watch, std::int64_t blocks)
{
    const double wallMs = std::chrono::duration<double, std::milli>(watch.wall).count();
    const double cpuMs = 1000.0 * static_cast<double>(watch.cpu) / CLOCKS_PER_SEC;
    state.counters["ms_per_block"] = wallMs / static_cast<double>(blocks);
    state.counters["cpu_ms_per_block"] = cpuMs / static_cast<double>(blocks);
}

void runUpdate(benchmark::State &state, bool paced)
{
    Rig rig(paced);
    if (!rig.device) {
        state.SkipWithError("the emulator did not start on a pseudo-terminal");
        return;
    }
    const update::UpdateImage image = makeImage();
    NoProgress progress;
    update::Updater updater(*rig.device, progress);
    Stopwatch watch;
    for (auto _ : state) {
        watch.start();
        update::UpdateOutcome outcome;
        updater.start(image, [&outcome](update::UpdateOutcome o) { outcome = o; });
        watch.stop();
        if (outcome.result != update::UpdateResult::Complete) {
            state.SkipWithError("the update did not complete");
            return;
        }
    }
    reportPerBlock(state, watch, state.iterations() * kBlocks);
}

void Update528(benchmark::State &state)
{
    runUpdate(state, false);
}

void Update528Paced(benchmark::State &state)
{
    runUpdate(state, true);
}

void OpenClose(benchmark::State &state)
{
    Rig rig(false);
    if (!rig.device) {
        state.SkipWithError("the emulator did not start on a pseudo-terminal");
        return;
    }
    link::DeviceContext &device = *rig.device;
    device.CmdPacket.PortNumber = 129;
    device.CmdPacket.BaudRate = link::kBaudRate;
    device.CmdPacket.Timeout = link::kTimeoutMs;
    Stopwatch watch;
    for (auto _ : state) {
        watch.start();
        for (int i = 0; i < kBlocks; ++i) {
            if (link::OpenXLTComPort(device, device.CmdPacket) == 0) {
                state.SkipWithError("the port did not open");
                return;
            }
            link::CloseXLTComPort(device);
        }
        watch.stop();
    }
    reportPerBlock(state, watch, state.iterations() * kBlocks);
}

} // namespace

BENCHMARK(Update528)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Update528Paced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(OpenClose)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The serial link needs an application object (QSerialPort's notifiers), so this benchmark has
// its own main.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
