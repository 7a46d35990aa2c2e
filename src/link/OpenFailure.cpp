#include "OpenFailure.h"

#include "core/FileIo.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace xlt::link {

namespace {

constexpr char kDevPrefix[] = "/dev/";
constexpr char kDefaultGroup[] = "dialout";
constexpr char kModemManager[] = "ModemManager";

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

std::string portNamed(const OpenFailure &failure)
{
    if (failure.portName.empty())
        return failure.devicePath;
    return failure.portName + " (" + failure.devicePath + ")";
}

std::string busyText(const std::string &start, const std::optional<PortHolder> &holder)
{
    if (!holder) {
        return start + "another program is using it. Close the program that uses the port (a "
                       "terminal program, another XLT, or ModemManager, which tries every new "
                       "serial port for a while after it is plugged in) and try again.";
    }
    const std::string who = holder->program.empty() ? std::string("a program") : holder->program;
    std::string text =
        start + "it is in use by " + who + " (process " + std::to_string(holder->pid) + ").";
    if (holder->program == kModemManager)
        return text + " ModemManager tries every new serial port for a while after it is "
                      "plugged in: wait until it lets go, or stop it (sudo systemctl stop "
                      "ModemManager), and try again.";
    return text + " Close that program and try again.";
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

std::string openFailureText(const OpenFailure &failure, const std::optional<PortHolder> &holder)
{
    const std::string start = "XLT cannot open the port " + portNamed(failure) + ": ";
    switch (failure.kind) {
    case OpenFailureKind::None:
    case OpenFailureKind::NoSuchPort:
    case OpenFailureKind::Vanished:
        return {};
    case OpenFailureKind::PermissionDenied: {
        const std::string group = failure.nodeGroup.empty() || failure.nodeGroup == "root"
                                      ? std::string(kDefaultGroup)
                                      : failure.nodeGroup;
        const std::string user = failure.userName.empty() ? "$USER" : failure.userName;
        return start + "permission denied. Join the group " + group + " (sudo adduser " + user +
               " " + group +
               ", then log out and in again), or install XLT's udev rule "
               "70-xlt.rules (it comes with the package), which gives the logged-in user "
               "access to USB serial ports.";
    }
    case OpenFailureKind::Busy:
        return busyText(start, holder);
    case OpenFailureKind::Other:
        return start +
               (failure.systemText.empty() ? std::string("unknown error") : failure.systemText) +
               ".";
    }
    return {};
}

std::string goneText(const std::string &port)
{
    return "XLT cannot open the port " + port +
           ": the device went away (unplugged or switched off).";
}

std::string groupOfNode(const std::string &devicePath)
{
    struct stat info
    {
    };
    if (::stat(devicePath.c_str(), &info) != 0)
        return {};
    if (const group *entry = ::getgrgid(info.st_gid))
        return entry->gr_name;
    return {};
}

} // namespace xlt::link
