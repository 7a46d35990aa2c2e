// Firmware update against the emulated device on a pseudo-terminal: an image sent through the
// real serial link, the port opened and closed around each block, as the update window does it.
// Prints milliseconds per block.
//
//   bench_update [benchmark options]    XLT_BENCH_BLOCKS=N sets the image's blocks (default 528)
//
// - Update: the whole update without wire pacing. A pty moves bytes at once, so this is the
//   tool's own cost per block (framing, open, configure, exchange, close, progress), plus the
//   emulator's share of the machine.
// - UpdatePaced: the emulator models a 9600-baud line both ways, about 1.04 ms a byte: it
//   answers a command once its last byte would have arrived and sends the reply at that pace.
//   Against wire_ms_per_block, the time a block's command frame and reply frame take on the
//   line, and their ratio (the goal: within 5 %, so 1.05 at most).
// - OpenClose: the port's open and close alone, the largest part of the tool's own cost.
// The first-stage pause is left out (pauses that do not wait; the emulator copies at once): it
// is a fixed three seconds, not a per-block cost. The two identity reads of a run (before the
// first block and after the last) are counted in its blocks' time.
#include "link/DeviceContext.h"
#include "link/Framing.h"
#include "link/SerialLink.h"
#include "link/XLT_protocol.h"
#include "sim/PtyServer.h"
#include "update/OpenStep.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

using namespace xlt;

namespace {

int blockCount()
{
    const char *text = std::getenv("XLT_BENCH_BLOCKS");
    const int blocks = text ? std::atoi(text) : 528;
    return blocks > 0 && blocks <= update::kMaximumBlocks ? blocks : 528;
}

const int kBlocks = blockCount();
/// One character on a 9600-baud line: a start bit, eight data bits and a stop bit.
constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;

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
    std::vector<std::uint8_t> bytes(128 + 128 * static_cast<std::size_t>(kBlocks));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    bytes[0] = 'X';
    bytes[1] = 'L';
    bytes[2] = 'T';
    bytes[5] = static_cast<std::uint8_t>(kBlocks % 256);
    bytes[6] = static_cast<std::uint8_t>(kBlocks / 256);
    return std::move(*update::openUpdateFile("bench.dpc", std::move(bytes)).image);
}

/// The line time of one block on average: its command frame (stuffed 7F bytes included) and
/// the device's empty acceptance.
double wireMsPerBlock(const update::UpdateImage &image)
{
    std::size_t bytes = 0;
    for (int n = 0; n < image.NumBlocks; ++n) {
        std::vector<std::uint8_t> command{link::kCmdUpdateBlock, std::uint8_t(n % 256),
                                          std::uint8_t(n / 256)};
        const auto block = image.FileData.begin() + 128 * (n + 1);
        command.insert(command.end(), block, block + 128);
        const auto seq = static_cast<std::uint8_t>(n % 2 ? link::framing::kSeqToggle : 0);
        bytes += link::framing::encodeCommand(seq, command).size();
        bytes +=
            link::framing::encodeReply(seq | link::framing::kSeqReply, link::ReplyOk, {}).size();
    }
    return kByteMs * static_cast<double>(bytes) / image.NumBlocks;
}

/// The emulator and a device context over the real serial link to it, whose operations run at
/// once and whose pauses do not wait.
struct Rig
{
    explicit Rig(bool paced)
    {
        sim::DeviceOptions options;
        options.firstStageCopy = std::chrono::milliseconds{0};
        options.imageBlocks = kBlocks;
        options.pace9600 = paced;
        std::string error;
        server = sim::PtyServer::start(options, {}, error);
        if (!server)
            return;
        ports = std::make_unique<OnePort>(server->devicePath());
        serial = std::make_unique<link::SerialLink>(*ports);
        line = std::make_unique<link::InlineLine>(*serial,
                                                  [](std::chrono::milliseconds) { return true; });
        device = std::make_unique<link::DeviceContext>(*line, *ports, notifier);
    }
    std::unique_ptr<sim::PtyServer> server;
    std::unique_ptr<OnePort> ports;
    std::unique_ptr<link::SerialLink> serial;
    std::unique_ptr<link::InlineLine> line;
    QuietNotifier notifier;
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

/// Sets ms_per_block and cpu_ms_per_block; gives ms_per_block.
double reportPerBlock(benchmark::State &state, const Stopwatch &watch, std::int64_t blocks)
{
    const double wallMs = std::chrono::duration<double, std::milli>(watch.wall).count();
    const double cpuMs = 1000.0 * static_cast<double>(watch.cpu) / CLOCKS_PER_SEC;
    const double perBlock = wallMs / static_cast<double>(blocks);
    state.counters["ms_per_block"] = perBlock;
    state.counters["cpu_ms_per_block"] = cpuMs / static_cast<double>(blocks);
    return perBlock;
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
        // The open step, outside the measure: each update leaves a new identity in use.
        const auto look = link::runToEnd<std::pair<update::SeenDevice, std::vector<std::string>>>(
            *rig.device, "bench", &update::lookAtDevice);
        watch.start();
        update::UpdateOutcome outcome;
        updater.start(image, look->first, {}, [&outcome](update::UpdateOutcome o) { outcome = o; });
        watch.stop();
        if (outcome.result != update::UpdateResult::Complete) {
            state.SkipWithError("the update did not complete");
            return;
        }
    }
    const double perBlock = reportPerBlock(state, watch, state.iterations() * kBlocks);
    if (paced) {
        const double wire = wireMsPerBlock(image);
        state.counters["wire_ms_per_block"] = wire;
        state.counters["ratio"] = perBlock / wire;
    }
}

void Update(benchmark::State &state)
{
    runUpdate(state, false);
}

void UpdatePaced(benchmark::State &state)
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
    Stopwatch watch;
    for (auto _ : state) {
        watch.start();
        const auto opened = link::runToEnd<bool>(*rig.device, "bench", [](link::Flow &flow) {
            flow.CmdPacket.PortNumber = 129;
            flow.CmdPacket.BaudRate = link::kBaudRate;
            flow.CmdPacket.Timeout = link::kTimeoutMs;
            for (int i = 0; i < kBlocks; ++i) {
                if (link::OpenXLTComPort(flow, flow.CmdPacket) == 0)
                    return false;
                link::CloseXLTComPort(flow);
            }
            return true;
        });
        watch.stop();
        if (!opened.value_or(false)) {
            state.SkipWithError("the port did not open");
            return;
        }
    }
    reportPerBlock(state, watch, state.iterations() * kBlocks);
}

} // namespace

BENCHMARK(Update)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(UpdatePaced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
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
