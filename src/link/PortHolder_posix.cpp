// Who holds a serial port on a POSIX system: the lock file's owner, else a process with the
// device node open (/proc).
#include "OpenFailure.h"
#include "core/FileIo.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace xlt::link {

namespace {

constexpr char kDevPrefix[] = "/dev/";

bool alive(long pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string firstLine(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

/// The PID a lock file names: the first number, after blanks (UUCP locks hold it as ten
/// characters, Qt's as the first line). The lock folder is shared by all users, so whatever
/// stands at the lock's name is read only when it is a small regular file.
long lockOwner(const fs::path &lockFile)
{
    constexpr qint64 kMaxLockFileBytes = 4096;
    const core::FileRead read = core::readRegularFile(lockFile, kMaxLockFileBytes);
    if (!read.bytes)
        return 0;
    std::istringstream in(read.bytes->toStdString());
    long pid = 0;
    if (!(in >> pid))
        return 0;
    return pid;
}

std::string commandName(const std::string &procDir, long pid)
{
    return firstLine(fs::path(procDir) / std::to_string(pid) / "comm");
}

/// The first process other than `ownPid` with a descriptor open on `node`.
long scanDescriptors(const fs::path &node, const HolderSearch &search)
{
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(search.procDir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::stol(name);
        if (pid == search.ownPid)
            continue;
        std::error_code fdError;
        for (const auto &fd : fs::directory_iterator(entry.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == node && !linkError)
                return pid;
        }
    }
    return 0;
}

} // namespace

std::string lockFileName(const std::string &devicePath)
{
    std::string name = devicePath;
    if (name.rfind(kDevPrefix, 0) == 0)
        name.erase(0, sizeof(kDevPrefix) - 1);
    else
        name = fs::path(devicePath).filename().string();
    for (char &c : name) {
        if (c == '/')
            c = '_';
    }
    return "LCK.." + name;
}

std::optional<PortHolder> findPortHolder(const std::string &devicePath, const HolderSearch &search)
{
    for (const std::string &dir : search.lockDirs) {
        const long pid = lockOwner(fs::path(dir) / lockFileName(devicePath));
        if (alive(pid))
            return PortHolder{pid, commandName(search.procDir, pid)};
    }
    std::error_code error;
    fs::path node = fs::canonical(devicePath, error);
    if (error)
        node = devicePath;
    if (const long pid = scanDescriptors(node, search))
        return PortHolder{pid, commandName(search.procDir, pid)};
    return std::nullopt;
}

long currentProcessId()
{
    return static_cast<long>(::getpid());
}

} // namespace xlt::link
