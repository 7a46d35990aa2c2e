#include "StateFile.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace xlt::sim {

namespace {

constexpr const char *kHeader = "# xlt-sim device state";
constexpr const char *kBlockKey = "block=";

std::optional<ConfigBlock> parseBlock(const std::string &hex)
{
    if (hex.size() != 2 * kBlockSize)
        return std::nullopt;
    ConfigBlock block{};
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        const int high = core::hexDigitValue(hex[2 * i]);
        const int low = core::hexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        block[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return block;
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
    std::error_code missing;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, missing)))
        return std::nullopt;
    const core::FileRead file = core::readRegularFile(path, kMaxStateFileBytes);
    if (!file.bytes) {
        error = "the state file " + core::pathText(path) +
                " cannot be read: " + core::fromQString(file.reason);
        return std::nullopt;
    }
    if (auto block = parseStateText(std::string_view(file.bytes->constData(),
                                                     static_cast<std::size_t>(file.bytes->size()))))
        return block;
    error = "the state file " + core::pathText(path) + " holds no valid configuration block";
    return std::nullopt;
}

bool writeStateFile(const std::string &path, const ConfigBlock &block, std::string &error)
{
    std::string text = std::string(kHeader) + "\n" + kBlockKey;
    for (std::uint8_t byte : block)
        text += core::hex2(byte);
    text += "\n";
    QString reason;
    if (core::writeFileAtomically(path, QByteArrayView(text.data(), qsizetype(text.size())),
                                  &reason))
        return true;
    error = "cannot write " + core::pathText(path) + ": " + core::fromQString(reason);
    return false;
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
