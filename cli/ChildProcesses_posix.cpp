#include "ChildProcesses.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace xlt::cli {

namespace {

/// A run in progress: its process and the read ends of its two output pipes (-1 once closed).
struct Child
{
    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1};
};

bool spawnChild(Args argv, Child &child)
{
    std::vector<char *> pointers;
    for (std::string &word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    std::array<std::array<int, 2>, 2> pipes{};
    if (::pipe2(pipes[0].data(), O_CLOEXEC) != 0)
        return false;
    if (::pipe2(pipes[1].data(), O_CLOEXEC) != 0) {
        ::close(pipes[0][0]);
        ::close(pipes[0][1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes[0][1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipes[1][1], 2);
    // The program itself, whatever its name or folder.
    const bool spawned = ::posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr,
                                       pointers.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    for (auto &pipe : pipes)
        ::close(pipe[1]);
    child.fds = {pipes[0][0], pipes[1][0]};
    if (!spawned) {
        for (int fd : child.fds)
            ::close(fd);
        child.fds = {-1, -1};
        child.pid = -1;
    }
    return spawned;
}

} // namespace

std::vector<int> runChildren(const std::vector<Args> &argvs,
                             const std::function<void(std::size_t, int, std::string_view)> &output,
                             const std::function<void(std::size_t)> &ended)
{
    std::vector<Child> children(argvs.size());
    for (std::size_t i = 0; i < argvs.size(); ++i)
        spawnChild(argvs[i], children[i]);
    for (;;) {
        std::vector<pollfd> watched;
        std::vector<std::pair<std::size_t, int>> owners;
        for (std::size_t i = 0; i < children.size(); ++i) {
            for (int stream = 0; stream < 2; ++stream) {
                if (children[i].fds[std::size_t(stream)] >= 0) {
                    watched.push_back({children[i].fds[std::size_t(stream)], POLLIN, 0});
                    owners.emplace_back(i, stream);
                }
            }
        }
        if (watched.empty())
            break;
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            break;
        for (std::size_t w = 0; w < watched.size(); ++w) {
            if (!(watched[w].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const auto [i, stream] = owners[w];
            std::array<char, 4096> buffer{};
            const ssize_t got = ::read(watched[w].fd, buffer.data(), buffer.size());
            if (got > 0) {
                output(i, stream, std::string_view(buffer.data(), std::size_t(got)));
            } else if (got == 0 || errno != EINTR) {
                ::close(watched[w].fd);
                children[i].fds[std::size_t(stream)] = -1;
                if (children[i].fds == std::array<int, 2>{-1, -1})
                    ended(i);
            }
        }
    }
    std::vector<int> codes(children.size(), kNotStarted);
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i].pid < 0)
            continue;
        int status = 0;
        while (::waitpid(children[i].pid, &status, 0) < 0 && errno == EINTR) {
        }
        codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return codes;
}

} // namespace xlt::cli
