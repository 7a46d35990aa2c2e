#include "UpdateFile.h"

#include "core/FileIo.h"

namespace xlt::update {

namespace {

constexpr std::uint8_t kMagic[] = {'X', 'L', 'T'};

std::string notValid(const std::string &fileName)
{
    return fileName + " is not a valid XLT OS Update file";
}

OpenResult refused(FileCheck check, std::string message = {})
{
    OpenResult result;
    result.check = check;
    result.message = std::move(message);
    return result;
}

} // namespace

int blockCountOf(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 7)
        return 0;
    return bytes[5] + 256 * bytes[6];
}

OpenResult openUpdateFile(const std::string &fileName, std::vector<std::uint8_t> bytes)
{
    if (bytes.empty())
        return refused(FileCheck::Empty);
    if (bytes.size() < std::size(kMagic))
        return refused(FileCheck::NoIdentity);
    if (!std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()))
        return refused(FileCheck::BadMagic, notValid(fileName));
    if (bytes.size() < kMinimumFileBytes)
        return refused(FileCheck::NoIdentity);

    const int count = blockCountOf(bytes);
    if (count == 0)
        return refused(FileCheck::NoBlocks, notValid(fileName) + ": its block count is 0");
    if (count > kMaximumBlocks) {
        return refused(FileCheck::TooManyBlocks, notValid(fileName) + ": its block count " +
                                                     std::to_string(count) + " is above " +
                                                     std::to_string(kMaximumBlocks));
    }
    const std::size_t needed = kHeaderBytes + kBlockBytes * static_cast<std::size_t>(count);
    if (bytes.size() < needed) {
        return refused(FileCheck::MissingBlocks,
                       notValid(fileName) + ": its " + std::to_string(count) + " blocks need " +
                           std::to_string(needed) + " bytes, but the file has " +
                           std::to_string(bytes.size()));
    }

    OpenResult result;
    result.check = FileCheck::Accepted;
    UpdateImage image;
    image.file = link::parseIdentity(std::span(bytes).subspan(kIdentityOffset, kIdentityBytes),
                                     link::FirmwareStyle::WithPoint);
    image.NumBlocks = count;
    image.FileData = std::move(bytes);
    result.image = std::move(image);
    return result;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path &path,
                                                       QString *reason)
{
    const core::FileRead read = core::readRegularFile(path, kMaximumFileBytes);
    if (!read.bytes) {
        if (reason)
            *reason = read.reason;
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(read.bytes->begin(), read.bytes->end());
}

} // namespace xlt::update
