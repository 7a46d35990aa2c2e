#pragma once

// The one place where XLT opens files (configuration files, update files, log files, exports,
// raw captures, the settings, the emulator's state), so that every reader and writer meets
// links, pipes, devices and full disks the same way:
// - no file is read without bound, and a pipe or a device is never opened in a way that blocks;
// - a write never goes through a symbolic link, into a pipe, a device or a folder: such a
//   target is refused with a reason that names what it is;
// - no failed write loses data, and a saved file survives a power cut under its new name.
//
// A path is the system's name for a file: on Unix a string of bytes, kept as bytes (a name
// that is not UTF-8 names the same file). Windows hand in text and convert once, with toPath().

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace xlt::core {

/// The path of a name the windows hold as text (a file chooser's answer, a stored setting).
std::filesystem::path toPath(const QString &name);

/// A path as Qt names it, for Qt's own calls (a chooser's start folder). Bytes that are not
/// UTF-8 do not survive: files are opened through this header's functions, with the path.
QString toQPath(const std::filesystem::path &path);

/// True for /usr, /bin, /sbin, and on Windows the folders that the environment names as
/// ProgramFiles, ProgramFiles(x86), ProgramW6432 and SystemRoot (in any case), and the folders
/// below them, after the path is cleaned.
bool isSystemFolder(const QString &path);

/// A path for a message (a Latin-1 text, as every message is): the name's characters that are
/// printable Latin-1 as they are, every other byte of the name as \xNN (a byte that is not
/// UTF-8, a control byte, the bytes of a character beyond Latin-1). Nothing is lost and nothing
/// reaches a terminal as a control sequence.
std::string pathText(const std::filesystem::path &path);

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
FileRead readRegularFile(const std::filesystem::path &path, qint64 maxBytes);

/// Opens a regular file (a symbolic link to one is fine) for reading in pieces, such as a long
/// capture: refused as readRegularFile() refuses, without a bound on its size. Nothing when it
/// is refused; `reason` then says why.
std::unique_ptr<QFile> openRegularFile(const std::filesystem::path &path,
                                       QString *reason = nullptr);

/// Replaces the file at `path` by `data`. The data go to a new temporary file made beside it
/// (a fresh name, never an existing file or link), every write is checked, the file is synced
/// and renamed over the old one, and the folder is synced so that the new name lasts. A path
/// that is a symbolic link, a pipe, a device or a folder is refused and left as it is. On any
/// failure the old file (or its absence) stays as it was and `reason` (when given) says why,
/// in the system's words ("No space left on device", "it is a symbolic link").
bool writeFileAtomically(const std::filesystem::path &path, QByteArrayView data,
                         QString *reason = nullptr);

/// Appends `data` to the file at `path` (created when missing) whole or not at all: when a write
/// fails part way (a full disk) the file is cut back to its size before, so no partial line is
/// left for the next append to be glued onto. Nothing written earlier is ever truncated. A path
/// that is a symbolic link, a pipe, a device or a folder is refused at once, without blocking.
bool appendWhole(const std::filesystem::path &path, QByteArrayView data, QString *reason = nullptr);

/// Makes `path` a new, empty regular file. Whatever is at the name already (a file, a folder,
/// a symbolic link, even one that points nowhere) is left as it is: Taken. Failed, with
/// `reason` when given, when the name cannot be made.
enum class NewFile { Created, Taken, Failed };
NewFile createNewFile(const std::filesystem::path &path, QString *reason = nullptr);

/// True when `path` is a folder (a symbolic link to one counts); never blocks.
bool isFolder(const std::filesystem::path &path);

} // namespace xlt::core
