#pragma once

#include "link/Identity.h"
#include "link/XLT_protocol.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xlt::update {

// The XLT OS update file (.dpc), offsets from the start of the file, numbers low byte first:
//   0    3    magic "XLT" (byte values, case matters)
//   3    2    carried, not interpreted
//   5    2    block count, unsigned
//   7    121  rest of the header, not read
//   128  128 x block count: the image; block n is the 128 bytes at 128 + 128 n
// The firmware's identity lies inside the image at file offset 2160 (13 bytes, the layout of
// the device's identity text), so it reaches the device with block 15.

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kBlockBytes = link::kUpdateBlockSize;
constexpr std::size_t kIdentityOffset = 2160;
constexpr std::size_t kIdentityBytes = 13;
/// The shortest file whose identity can be read.
constexpr std::size_t kMinimumFileBytes = kIdentityOffset + kIdentityBytes;
/// Block numbers are sent as 15-bit values, 0 to 32767.
constexpr int kMaximumBlocks = 32768;
/// The largest file read: the header and kMaximumBlocks blocks (4 MiB + 128 bytes). Bytes after
/// the last block are never sent, so a larger file holds nothing an update could use.
constexpr qint64 kMaximumFileBytes = qint64(kHeaderBytes) + qint64(kBlockBytes) * kMaximumBlocks;

/// An accepted update file: everything the update needs.
struct UpdateImage
{
    std::vector<std::uint8_t> FileData; ///< the whole file, header included
    int NumBlocks = 0;                  ///< 1 to kMaximumBlocks, all present in FileData
    link::Identity file;                ///< the firmware's identity, as shown
};

/// Why a file was not accepted. The first three end the open step silently; the others come
/// with a message.
enum class FileCheck {
    Accepted,
    Empty,         ///< nothing to read: the step ends before the panel is cleared
    NoIdentity,    ///< under 3 bytes, or the magic but no identity: silent, panel cleared
    BadMagic,      ///< first three bytes are not "XLT"
    NoBlocks,      ///< block count 0
    TooManyBlocks, ///< block count above kMaximumBlocks
    MissingBlocks, ///< shorter than 128 + 128 x block count
};

struct OpenResult
{
    FileCheck check = FileCheck::Empty;
    std::string message;              ///< the refusal to show; empty when silent or accepted
    std::optional<UpdateImage> image; ///< set exactly when accepted
};

/// The block count of header bytes 5 and 6 (byte 5 + 256 x byte 6); 0 when the file is too
/// short to hold them.
int blockCountOf(std::span<const std::uint8_t> bytes);

/// Checks the bytes of a file named `fileName` (as the user chose it; used in messages) and,
/// when they pass, takes them as the image. Order: empty, magic, identity length, block count,
/// length for the blocks. A file shorter than three bytes counts as NoIdentity.
OpenResult openUpdateFile(const std::string &fileName, std::vector<std::uint8_t> bytes);

/// The whole contents of a file, or nothing when it cannot be opened or read, is not a regular
/// file or is larger than kMaximumFileBytes (such a file is not read at all).
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path &path,
                                                       QString *reason = nullptr);

} // namespace xlt::update
