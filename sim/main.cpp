// xlt-sim: the XLT device emulator on a pseudo-terminal.

#include "PtyServer.h"
#include "SimArgs.h"
#include "Version.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>

namespace {

/// Signals are taken synchronously by sigtimedwait(), so no handler has to be signal-safe.
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

void ensureStateDir(const std::string &statePath)
{
    if (statePath.empty())
        return;
    std::error_code ec;
    const auto dir = std::filesystem::path(statePath).parent_path();
    if (!dir.empty())
        std::filesystem::create_directories(dir, ec);
}

} // namespace

int main(int argc, char **argv)
{
    using namespace xlt::sim;
    SimArgs args;
    std::string error;
    if (!parseSimArgs(std::vector<std::string>(argv + 1, argv + argc), args, error)) {
        std::cerr << "xlt-sim: " << error << '\n';
        return 2;
    }
    if (args.help) {
        std::cout << simUsage();
        return 0;
    }
    if (args.version) {
        std::cout << "xlt-sim " << xlt::app::kVersionText << '\n';
        return 0;
    }
    ensureStateDir(args.device.statePath);

    // Blocked before the server thread starts, so that thread inherits the mask.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto server = PtyServer::start(args.device, {args.registryDir, args.serial}, error);
    if (!server) {
        std::cerr << "xlt-sim: " << error << '\n';
        return 1;
    }
    std::string reported = server->withModel([](DeviceModel &model) { return model.stateError(); });
    if (!reported.empty())
        std::cerr << "xlt-sim: " << reported << "; starting from the built-in block\n";
    std::cout << "xlt-sim: serving " << server->devicePath() << " as COM" << server->comPortNumber()
              << std::endl;

    const timespec tick{0, 200L * 1000 * 1000};
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &tick) >= 0)
            break;
        if (server->disconnected()) {
            std::cout << "xlt-sim: the device has vanished (disconnect fault); exiting"
                      << std::endl;
            break;
        }
        const std::string stateError =
            server->withModel([](DeviceModel &model) { return model.stateError(); });
        if (stateError != reported && !stateError.empty())
            std::cerr << "xlt-sim: " << stateError << '\n';
        reported = stateError;
    }
    server.reset();
    return 0;
}
