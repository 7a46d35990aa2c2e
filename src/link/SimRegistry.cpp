#include "SimRegistry.h"

#include "core/FileIo.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace xlt::link {

namespace {

std::string entryPath(const std::string &dir, int index)
{
    return dir + "/port-" + std::to_string(index);
}

struct Entry
{
    long pid = 0;
    std::string devicePath;
    std::string serial;
};

/// The content of one registry file; empty when it does not hold "<pid>\t<path>\n". The
/// serial number is the second line, if any.
std::optional<Entry> readEntry(const std::string &path)
{
    constexpr qint64 kMaxEntryBytes = 8192;
    const core::FileRead read = core::readRegularFile(path, kMaxEntryBytes);
    if (!read.bytes)
        return std::nullopt;
    std::istringstream in(read.bytes->toStdString());
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const auto tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || tab + 1 == line.size())
        return std::nullopt;
    Entry entry;
    const auto [end, error] = std::from_chars(line.data(), line.data() + tab, entry.pid);
    if (error != std::errc() || end != line.data() + tab || entry.pid <= 0)
        return std::nullopt;
    entry.devicePath = line.substr(tab + 1);
    std::getline(in, entry.serial);
    return entry;
}

bool processAlive(long pid)
{
#ifdef _WIN32
    (void)pid;
    return false;
#else
    // EPERM: the process exists but belongs to somebody else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

bool live(const Entry &entry)
{
    std::error_code error;
    return processAlive(entry.pid) && std::filesystem::exists(entry.devicePath, error);
}

} // namespace

std::string simRegistryDir()
{
    if (const char *dir = std::getenv("XLT_SIM_DIR"); dir && *dir)
        return dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/xlt-sim";
#ifdef _WIN32
    return {};
#else
    return "/tmp/xlt-sim-" + std::to_string(::getuid());
#endif
}

bool simRegistryDirTrusted(const std::string &dir, std::string &why)
{
#ifdef _WIN32
    why = "the emulator's port registry is not available on this system";
    (void)dir;
    return false;
#else
    struct stat info
    {
    };
    if (::lstat(dir.c_str(), &info) != 0) {
        why = "cannot use the emulator's port registry " + dir + ": " + std::strerror(errno);
        return false;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        why = "the emulator's port registry " + dir +
              " is not a directory of yours that only you can use (owner " +
              std::to_string(info.st_uid) + ", mode " + mode +
              (S_ISDIR(info.st_mode) ? "" : ", not a directory") +
              "); remove it, or choose another with --registry or XLT_SIM_DIR";
        return false;
    }
    return true;
#endif
}

std::vector<SimPort> readSimPorts(const std::string &dir)
{
    std::vector<SimPort> ports;
    std::string why;
    if (dir.empty() || !simRegistryDirTrusted(dir, why))
        return ports;
    for (int index = 0; index < kMaxSimPorts; ++index) {
        const auto entry = readEntry(entryPath(dir, index));
        if (entry && live(*entry))
            ports.push_back({index, entry->devicePath, entry->serial});
    }
    return ports;
}

std::optional<SimPortRegistration> SimPortRegistration::create(const std::string &dir,
                                                               const std::string &devicePath,
                                                               std::string *error,
                                                               const std::string &serial)
{
    std::string why;
    auto registration = [&]() -> std::optional<SimPortRegistration> {
#ifdef _WIN32
        (void)dir;
        (void)devicePath;
        (void)serial;
        why = "the emulator's port registry is not available on this system";
        return std::nullopt;
#else
        if (dir.empty() || devicePath.empty() || devicePath.find('\n') != std::string::npos ||
            serial.find('\n') != std::string::npos) {
            why = "no registry directory, or a device path or serial number that cannot be "
                  "registered";
            return std::nullopt;
        }
        // mkdir applies the umask, which can only take bits away from 0700.
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot create the emulator's port registry " + dir + ": " + std::strerror(errno);
            return std::nullopt;
        }
        if (!simRegistryDirTrusted(dir, why))
            return std::nullopt;
        // Emulators starting together take turns, so that two never reclaim the same stale file.
        const int lockFd = ::open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd < 0) {
            why = "cannot lock the emulator's port registry " + dir + ": " + std::strerror(errno);
            return std::nullopt;
        }
        ::flock(lockFd, LOCK_EX);
        auto claimed = claimIndex(dir, devicePath, serial);
        ::close(lockFd); // releases the lock
        if (!claimed)
            why = "every port of the emulator's port registry " + dir + " is taken";
        return claimed;
#endif
    }();
    if (!registration && error)
        *error = why;
    return registration;
}

#ifndef _WIN32
std::optional<SimPortRegistration> SimPortRegistration::claimIndex(const std::string &dir,
                                                                   const std::string &devicePath,
                                                                   const std::string &serial)
{
    for (int index = 0; index < kMaxSimPorts; ++index) {
        const std::string line =
            std::to_string(::getpid()) + "\t" + devicePath + "\n" +
            (serial.empty() ? "XLTSIM" + std::to_string(kFirstSimPortNumber + index) : serial) +
            "\n";
        const std::string path = entryPath(dir, index);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            // A file whose emulator is gone is stale and reclaimed; so is an unreadable one,
            // which only an emulator that died while registering leaves behind (registering
            // happens under the lock).
            const auto entry = readEntry(path);
            if (entry && processAlive(entry->pid))
                continue;
            ::unlink(path.c_str());
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        }
        if (fd < 0)
            continue;
        const bool written =
            ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        ::close(fd);
        if (!written) {
            ::unlink(path.c_str());
            return std::nullopt;
        }
        return SimPortRegistration(index, path);
    }
    return std::nullopt;
}
#endif

SimPortRegistration::SimPortRegistration(SimPortRegistration &&other) noexcept
    : m_index(other.m_index)
    , m_path(std::move(other.m_path))
{
    other.m_path.clear();
}

SimPortRegistration &SimPortRegistration::operator=(SimPortRegistration &&other) noexcept
{
    if (this != &other) {
        unregister();
        m_index = other.m_index;
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

SimPortRegistration::~SimPortRegistration()
{
    unregister();
}

void SimPortRegistration::unregister()
{
    if (m_path.empty())
        return;
    std::error_code error;
    std::filesystem::remove(m_path, error);
    m_path.clear();
}

} // namespace xlt::link
