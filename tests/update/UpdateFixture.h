#pragma once

// Shared by the update tests: made-up update files, and a device on COM5 behind the fake link.
#include "link/XLT_protocol.h"
#include "support/FakeLink.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>

namespace xlt::test {

using Bytes = std::vector<std::uint8_t>;

/// An update file of `length` bytes (default: its blocks, at least up to the identity).
inline Bytes makeDpc(int numBlocks, std::size_t length = 0,
                     const std::string &identity = "PR01 01230001")
{
    if (length == 0)
        length = std::max<std::size_t>(128 + 128 * static_cast<std::size_t>(numBlocks), 2173);
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    const std::uint8_t header[] = {
        'X', 'L', 'T', 0, 0, std::uint8_t(numBlocks % 256), std::uint8_t(numBlocks / 256)};
    std::copy_n(header, std::min(length, sizeof header), bytes.begin());
    for (std::size_t i = 0; i < identity.size() && 2160 + i < length; ++i)
        bytes[2160 + i] = static_cast<std::uint8_t>(identity[i]);
    return bytes;
}

inline QString writeFile(const QString &path, const Bytes &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return path;
}

/// A device on COM5 behind the fake link: it answers command 16 with `identity` and every
/// other command with an empty acceptance.
struct UpdateDevice : FakeDevice
{
    UpdateDevice()
    {
        link.responder = [this](const Bytes &command) { return answer(command); };
    }
    FakeLink::Reply answer(const Bytes &command) const
    {
        if (command.at(0) != link::kCmdReadVersion)
            return {};
        return {link::ReplyOk, Bytes(identity.begin(), identity.end())};
    }
    /// The device as the update window shows it.
    update::SeenDevice shown() const { return {"COM5 (/dev/null)", identity}; }

    std::string identity = "PR01 01230001";
};

} // namespace xlt::test
