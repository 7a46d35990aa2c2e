#pragma once

// Reading and writing the files XLT keeps (configuration files, update files, log files, the
// emulator's state), so that no file is read without bound and no failed write loses data.
// Paths are QString end to end; they meet the system's 8-bit names only inside Qt.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace xlt::core {

/// Why a file was not read.
enum class ReadFailure {
    CannotOpen, ///< missing, not permitted, or another open error
    NotRegular, ///< a directory, a pipe, a device or a socket: never opened for reading
    TooLarge,   ///< larger than the caller's limit: not read
    ReadError,  ///< opened, but reading failed
};

struct FileRead
{
    std::optional<QByteArray> bytes; ///< the whole file, set exactly on success
    ReadFailure failure = ReadFailure::CannotOpen;
    QString reason; ///< readable reason on failure
};

/// Reads a regular file (a symbolic link to one is fine) of at most `maxBytes` bytes. Anything
/// else is refused before a byte is read: a pipe or device is never opened in a way that could
/// block or never end, and a larger file is not read at all. A file that grows past the limit
/// while it is read is refused too.
FileRead readRegularFile(const QString &path, qint64 maxBytes);

/// Replaces the file at `path` by `data`: the data go to a temporary file beside it, every write
/// is checked, the file is synced, and only then renamed over the old one. On any failure the
/// old file (or its absence) stays as it was and `reason` (when given) says why. A path that
/// names something other than a regular file (a device, a pipe, a folder) is never replaced.
bool writeFileAtomically(const QString &path, QByteArrayView data, QString *reason = nullptr);

/// Appends `data` to the file at `path` (created when missing) whole or not at all: when a write
/// fails part way (a full disk) the file is cut back to its size before, so no partial line is
/// left for the next append to be glued onto. Nothing written earlier is ever truncated.
bool appendWhole(const QString &path, QByteArrayView data, QString *reason = nullptr);

} // namespace xlt::core
