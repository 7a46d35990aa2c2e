#pragma once

// Runs a program with arguments given as bytes (a file name that is not UTF-8 reaches it as
// it is, which QProcess cannot do), optionally as the user nobody, and with a time limit: a
// program that has not ended by then is killed and counts as hung.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace xlt::test {

struct ProgramOutcome
{
    int code = -1;     ///< the exit code; -1 when it was killed or did not end in time
    bool hung = false; ///< still running at the limit
    std::string out;
    std::string err;
};

/// True when this process may run programs as another user (it is root and setpriv exists).
inline bool canRunAsNobody()
{
    return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
}

/// Runs `argv` (argv[0] a path) with `env` added to this process's environment ("NAME=value"),
/// standard input empty, for at most `limit`.
inline ProgramOutcome runProgram(std::vector<std::string> argv, const std::vector<std::string> &env,
                                 bool asNobody = false,
                                 std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    if (asNobody) {
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    std::vector<std::string> environment = env;
    for (char **e = environ; *e; ++e)
        environment.emplace_back(*e); // the first of a name counts
    std::vector<char *> args;
    std::vector<char *> envp;
    for (std::string &a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    ProgramOutcome outcome;
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *texts[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.hung = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (outcome.hung)
        ::kill(pid, SIGKILL);
    for (const pollfd &fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!outcome.hung && WIFEXITED(status))
        outcome.code = WEXITSTATUS(status);
    return outcome;
}

} // namespace xlt::test
