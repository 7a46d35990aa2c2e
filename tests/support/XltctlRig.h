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
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
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

    /// Runs xltctl with `args`, and `input` (a few bytes) on its standard input.
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
        int in[2];
        int out[2];
        int err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
            return {-1, "", "no pipes"};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const auto &[end, fd] :
             {std::pair(in[0], 0), std::pair(out[1], 1), std::pair(err[1], 2)})
            posix_spawn_file_actions_adddup2(&actions, end, fd);
        const std::string folder = dir.path().toStdString();
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        pid_t pid = -1;
        const bool spawned =
            ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
        [[maybe_unused]] const ssize_t sent =
            spawned ? ::write(in[1], input.data(), input.size()) : 0;
        for (const int end : {in[0], in[1], out[1], err[1]})
            ::close(end);
        Outcome outcome;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        bool killed = false;
        for (int open = spawned ? 2 : 0; open > 0;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 && !killed) // its pipes close as it dies
                killed = ::kill(pid, SIGKILL) == 0;
            if (::poll(fds, 2, killed ? -1 : int(left.count())) <= 0)
                continue;
            for (pollfd &fd : fds) {
                char buffer[4096];
                const ssize_t n = fd.revents ? ::read(fd.fd, buffer, sizeof buffer) : 0;
                if (n > 0)
                    (fd.fd == out[0] ? outcome.out : outcome.err).append(buffer, std::size_t(n));
                else if (fd.revents) {
                    fd.fd = -1;
                    --open;
                }
            }
        }
        ::close(out[0]);
        ::close(err[0]);
        int status = 0;
        if (spawned && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            outcome.code = WEXITSTATUS(status);
        if (killed)
            outcome.err += "<killed at the time limit>";
        return outcome;
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
