// A fleet update against emulated devices on paced pseudo-terminals (9600 baud, as real
// devices), and the program's idle CPU use with that many devices attached. Prints the figures;
// fails nothing.
//
//   bench_fleet [DEVICES] [BLOCKS]
//
// DEVICES (default 8) emulators serve an image of BLOCKS blocks (default 40; the whole 300 take
// about 45 s a device at this pace). First one device is updated alone (`xltctl --port COM129
// update --yes`), then all of them at once (`xltctl update --all --yes`); the ratio of the two
// times is the cost of the fleet over one device. Then the program (`xlt`, offscreen) runs idle
// for ten seconds with the devices attached, and its CPU time over those seconds is printed.
// Last, the main window's status bar (offscreen, in this process) watches one more emulator
// come and go: the time from the port's registration (or its removal) to the drop-down showing
// it is printed, five times each.
#include "app/ui/DeviceBar.h"
#include "link/ChoosablePorts.h"
#include "link/SystemPorts.h"
#include "sim/DeviceModel.h"
#include "sim/PtyServer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace xlt;
using Clock = std::chrono::steady_clock;

namespace {

pid_t spawn(std::vector<std::string> args)
{
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/tmp/bench_fleet.out",
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/tmp/bench_fleet.err",
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

/// Runs a program to its end; its time in seconds, or a negative time when it failed.
double timed(std::vector<std::string> args)
{
    const auto start = Clock::now();
    const pid_t pid = spawn(std::move(args));
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status))
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// User and system CPU time of a process so far, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stoull(field);
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

/// Milliseconds from `change` until the status bar's drop-down has `count` entries; -1 after
/// five seconds.
qint64 shownAfter(QComboBox &devices, int count, const std::function<void()> &change)
{
    QElapsedTimer timer;
    timer.start();
    change();
    return QTest::qWaitFor([&] { return devices.count() == count; }, 5000) ? timer.elapsed() : -1;
}

void plugAndUnplug(const std::string &registry)
{
    const std::unique_ptr<link::PortSource> system = link::makeSystemPortSource();
    link::ChoosablePorts ports(*system);
    app::DeviceBar bar(ports);
    auto &devices = *bar.findChild<QComboBox *>(QStringLiteral("cmbDevice"));
    const int before = devices.count();
    std::printf("status bar, from a port's registration or removal to the drop-down:\n");
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<sim::PtyServer> server;
        sim::DeviceOptions options;
        options.statePath.clear();
        std::string error;
        const qint64 plug = shownAfter(devices, before + 1, [&] {
            server = sim::PtyServer::start(options, {registry}, error);
        });
        const qint64 unplug = shownAfter(devices, before, [&] { server.reset(); });
        std::printf("  plug %4lld ms   unplug %4lld ms\n", static_cast<long long>(plug),
                    static_cast<long long>(unplug));
    }
}

int main(int argc, char *argv[])
{
    const int devices = argc > 1 ? std::atoi(argv[1]) : 8;
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 40;
    QTemporaryDir dir;
    const std::string registry = dir.filePath(QStringLiteral("registry")).toStdString();
    ::setenv("XLT_SIM_DIR", registry.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", dir.path().toStdString().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);

    std::vector<std::unique_ptr<sim::PtyServer>> servers;
    for (int i = 0; i < devices; ++i) {
        sim::DeviceOptions options;
        options.pace9600 = true;
        options.imageBlocks = blocks;
        options.statePath.clear();
        std::string error;
        servers.push_back(sim::PtyServer::start(options, {registry}, error));
        if (!servers.back()) {
            std::fprintf(stderr, "bench_fleet: %s\n", error.c_str());
            return 1;
        }
    }
    // An update file of `blocks` blocks, its identity where the device looks for it.
    const std::string image = dir.filePath(QStringLiteral("fw.dpc")).toStdString();
    {
        std::string bytes(std::max<std::size_t>(128 + 128 * std::size_t(blocks), 2173), '\x55');
        bytes.replace(0, 7,
                      std::string{'X', 'L', 'T', 0, 0, char(blocks % 256), char(blocks / 256)});
        bytes.replace(2160, 13, "PR01 02340005");
        std::ofstream(image, std::ios::binary) << bytes;
    }
    const std::string xltctl = XLT_BINARY_DIR "/cli/xltctl";
    std::printf("fleet update, %d blocks at 9600 baud\n", blocks);
    const double one = timed({xltctl, "--port", "COM129", "update", "--yes", image});
    std::printf("  one device:          %6.2f s\n", one);
    const double all = timed({xltctl, "update", "--all", "--yes", image});
    std::printf("  %2d devices (--all):  %6.2f s  (%.2f times one device)\n", devices, all,
                one > 0 && all > 0 ? all / one : 0.0);

    const pid_t program = spawn({XLT_BINARY_DIR "/src/xlt"});
    std::this_thread::sleep_for(std::chrono::seconds(3)); // started and settled
    const double before = cpuSeconds(program);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double used = cpuSeconds(program) - before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    if (program < 0 || ::waitpid(program, nullptr, WNOHANG) != 0) {
        std::printf("the program did not start or ended early; see /tmp/bench_fleet.err\n");
        return 1;
    }
    ::kill(program, SIGTERM);
    ::waitpid(program, nullptr, 0);
    std::printf(
        "program idle with %d devices attached: %.2f %% of one core (%.3f s CPU in %.1f s)\n",
        devices, 100 * used / wall, used, wall);
    plugAndUnplug(registry);
    return 0;
}
