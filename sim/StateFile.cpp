#include "StateFile.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace xlt::sim {

namespace {

constexpr const char *kHeader = "# xlt-sim device state";
constexpr const char *kBlockKey = "block=";

std::optional<std::uint8_t> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint8_t>(c - 'a' + 10);
    return std::nullopt;
}

std::optional<ConfigBlock> parseBlock(const std::string &hex)
{
    if (hex.size() != 2 * kBlockSize)
        return std::nullopt;
    ConfigBlock block{};
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        const auto high = hexDigit(hex[2 * i]);
        const auto low = hexDigit(hex[2 * i + 1]);
        if (!high || !low)
            return std::nullopt;
        block[i] = static_cast<std::uint8_t>(*high << 4 | *low);
    }
    return block;
}

std::string systemError(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::optional<ConfigBlock> parseStateText(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with(kBlockKey))
            return parseBlock(std::string(line.substr(std::strlen(kBlockKey))));
    }
    return std::nullopt;
}

std::optional<ConfigBlock> readStateFile(const std::string &path, std::string &error)
{
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    if (!QFileInfo::exists(name))
        return std::nullopt;
    const core::FileRead file = core::readRegularFile(name, kMaxStateFileBytes);
    if (!file.bytes) {
        error = "the state file " + path + " cannot be read: " + file.reason.toStdString();
        return std::nullopt;
    }
    if (auto block = parseStateText(std::string_view(file.bytes->constData(),
                                                     static_cast<std::size_t>(file.bytes->size()))))
        return block;
    error = "the state file " + path + " holds no valid configuration block";
    return std::nullopt;
}

bool writeStateFile(const std::string &path, const ConfigBlock &block, std::string &error)
{
    std::string text = std::string(kHeader) + "\n" + kBlockKey;
    for (std::uint8_t byte : block)
        text += core::hex2(byte);
    text += "\n";

    // Renaming over a device or a pipe (--state /dev/null) would replace it.
    const QFileInfo existing(QFile::decodeName(QByteArray::fromStdString(path)));
    if (existing.exists() && !existing.isFile()) {
        error = "cannot write " + path + ": not a regular file";
        return false;
    }
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = systemError("cannot create", temp);
        return false;
    }
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        if (!written)
            errno = savedErrno;
        error = systemError("cannot write", path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string defaultStatePath()
{
    const char *stateHome = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (stateHome && *stateHome) {
        base = stateHome;
    } else {
        const char *home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.local/state";
    }
    return base + "/xlt-sim/device.state";
}

} // namespace xlt::sim
