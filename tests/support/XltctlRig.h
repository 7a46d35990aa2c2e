#pragma once

// xltctl as a program against the emulator: a PtyServer with its own registry and settings
// folder, and run(), which starts xltctl in the rig's folder with arguments given as bytes (a
// name that is not UTF-8 reaches it as it is, which QProcess cannot do), optionally as the user
// nobody, and with a time limit whose only purpose is to end a hung program: one still running
// then is killed, and its outcome says so.

#include "sim/PtyServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace xlt::test {

using Args = std::vector<std::string>;

/// The arguments as one line, for messages.
inline std::string joined(const Args &args)
{
    std::string line;
    for (const std::string &arg : args)
        line += (line.empty() ? "" : " ") + arg;
    return line;
}

struct Outcome
{
    int code = -1; ///< the exit code; -1 when it crashed or was killed at the time limit
    std::string out;
    std::string err; ///< ends in "<killed at the time limit>" when it was
};

/// True when this process may run programs as another user (it is root and setpriv exists).
inline bool canRunAsNobody()
{
    return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
}

struct XltctlRig
{
    /// (Re)starts the emulator, without a state file, in the rig's registry.
    void serve(sim::DeviceOptions options = {})
    {
        server.reset();
        options.statePath.clear();
        std::string error;
        server = sim::PtyServer::start(std::move(options), {registry}, error);
        ASSERT_TRUE(server) << error;
    }

    /// Runs xltctl with `args`, and `input` (a few bytes) on its standard input. Its standard
    /// streams are files of the rig's own, outside the rig's folder.
    Outcome run(Args args, const std::string &input = {}) const
    {
        args.insert(args.begin(), XLT_BINARY_DIR "/cli/xltctl");
        if (asNobody)
            args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                       "--clear-groups"});
        Args environment{"XLT_SIM_DIR=" + registry, "XDG_CONFIG_HOME=" + configHome};
        for (char **entry = environ; *entry; ++entry)
            environment.emplace_back(*entry); // the first of a name counts
        std::vector<char *> argv;
        std::vector<char *> envp;
        for (auto [words, pointers] : {std::pair(&args, &argv), std::pair(&environment, &envp)}) {
            for (std::string &word : *words)
                pointers->push_back(word.data());
            pointers->push_back(nullptr);
        }
        Args streamPaths;
        for (const char *name : {"in", "out", "err"})
            streamPaths.push_back(streams.filePath(QLatin1String(name)).toStdString());
        std::ofstream(streamPaths[0], std::ios::binary) << input;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd = 0; fd < 3; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, streamPaths[std::size_t(fd)].c_str(),
                                             fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0600);
        const std::string folder = dir.path().toStdString();
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        pid_t pid = -1;
        const bool spawned =
            ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
        if (!spawned)
            return {-1, "", "not started"};
        int status = 0;
        bool killed = false;
        for (const auto deadline = std::chrono::steady_clock::now() + limit;
             ::waitpid(pid, &status, WNOHANG) == 0;
             std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
            if (!killed && std::chrono::steady_clock::now() > deadline)
                killed = ::kill(pid, SIGKILL) == 0;
        }
        const auto contents = [](const std::string &path) {
            std::ifstream file(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(file), {});
        };
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contents(streamPaths[1]),
                contents(streamPaths[2]) + (killed ? "<killed at the time limit>" : "")};
    }

    /// A path in the rig's folder; write() makes that file with `bytes`.
    std::string path(const std::string &name) const
    {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string write(const std::string &name, const std::string &bytes) const
    {
        QFile file(QString::fromStdString(path(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()));
        return path(name);
    }
    /// Runs `f(DeviceModel &)` on the emulator's device between exchanges.
    template<class F> decltype(auto) model(F &&f) { return server->withModel(std::forward<F>(f)); }

    QTemporaryDir dir;
    QTemporaryDir streams; ///< xltctl's standard input, output and error
    std::string registry = path("registry");
    std::string configHome = path("config");
    std::unique_ptr<sim::PtyServer> server;
    bool asNobody = false;
    std::chrono::milliseconds limit = std::chrono::seconds(60);
};

/// A test case with a healthy emulator.
struct XltctlTest : ::testing::Test, XltctlRig
{
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(serve()); }
};

} // namespace xlt::test
