#include "FileIo.h"

#include "Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace xlt::core {

namespace fs = std::filesystem;

namespace {

FileRead failed(ReadFailure failure, QString reason)
{
    FileRead result;
    result.failure = failure;
    result.reason = std::move(reason);
    return result;
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("the file is larger than %1 bytes").arg(maxBytes);
}

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

// The length of the UTF-8 sequence that starts at `i`, or 0 when the bytes there are none.
std::size_t utf8Length(std::string_view bytes, std::size_t i, char32_t &code)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void appendEscaped(std::string &out, std::string_view bytes)
{
    for (const char byte : bytes) {
        out += "\\x";
        appendHex2(out, static_cast<std::uint8_t>(byte));
    }
}

#ifdef Q_OS_UNIX

QString systemReason(int error)
{
    return qt_error_string(error);
}

/// What a path that is no regular file is, for a refusal; empty for a regular file or none.
QString whatItIs(const struct stat &info)
{
    if (S_ISREG(info.st_mode))
        return {};
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("it is a named pipe");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("it is a device");
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder");
    return QStringLiteral("it is not a regular file");
}

/// The refusal for what `path` names now without following a link; empty when it is a regular
/// file or nothing.
QString refusalAt(const fs::path &path)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    return whatItIs(info);
}

int openRetrying(const char *name, int flags, mode_t mode = 0)
{
    int fd = -1;
    do {
        fd = ::open(name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes all of `data`; a short write is retried so that the failing call names the reason.
bool writeFully(int fd, QByteArrayView data, QString *reason)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            setReason(reason, systemReason(n < 0 ? errno : ENOSPC));
            return false;
        }
        done += n;
    }
    return true;
}

/// A fresh name beside `path` for its temporary file: hidden, never longer than a name may be.
fs::path temporaryBeside(const fs::path &path)
{
    std::string name = path.filename().native().substr(0, 200);
    const quint64 random = QRandomGenerator::system()->generate64();
    name = "." + name + "." + QByteArray::number(random, 36).toStdString() + ".tmp";
    return path.parent_path() / name;
}

/// Syncs the folder that holds `path`, so that a rename in it survives a power cut. A file
/// system that cannot sync folders has nothing more to do.
void syncFolderOf(const fs::path &path)
{
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const int fd = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

#endif

} // namespace

fs::path toPath(const QString &name)
{
#ifdef Q_OS_WIN
    return fs::path(name.toStdWString());
#else
    return fs::path(QFile::encodeName(name).toStdString());
#endif
}

QString toQPath(const fs::path &path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

/// Where packages and installations put programs: no place for logs or configurations, even for
/// an administrator, who may write there. On Windows the folders come from the environment
/// (Program Files, its 32-bit twin, Windows itself) and are compared without regard to case.
bool isSystemFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    const auto under = [&clean](const QString &system, Qt::CaseSensitivity cs) {
        return clean.compare(system, cs) == 0 || clean.startsWith(system + QLatin1Char('/'), cs);
    };
    for (const char *prefix : {"/usr", "/bin", "/sbin"}) {
        if (under(QLatin1String(prefix), Qt::CaseSensitive))
            return true;
    }
    for (const char *name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
        const QString folder =
            QDir::cleanPath(QDir::fromNativeSeparators(qEnvironmentVariable(name)));
        // A bare drive such as "C:" (an odd setting) would make every folder on it a system one.
        if (folder.size() > 2 && under(folder, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::string pathText(const fs::path &path)
{
#ifdef Q_OS_WIN
    const QByteArray utf8 = QString::fromStdWString(path.native()).toUtf8();
    const std::string_view bytes(utf8.constData(), static_cast<std::size_t>(utf8.size()));
#else
    const std::string_view bytes = path.native();
#endif
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = utf8Length(bytes, i, code);
        if (length == 0) {
            appendEscaped(out, bytes.substr(i, 1));
            ++i;
            continue;
        }
        const bool printable = (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF);
        if (printable)
            out += static_cast<char>(code);
        else
            appendEscaped(out, bytes.substr(i, length));
        i += length;
    }
    return out;
}

namespace {

/// Opens `path` for reading when it is a regular file; its size in `size`.
std::optional<FileRead> openRegular(QFile &file, const fs::path &path, qint64 &size)
{
#ifdef Q_OS_UNIX
    // The check is made on the open descriptor (opened without blocking, so a FIFO cannot hang
    // the open), which leaves no gap between the check and the read.
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failed(ReadFailure::CannotOpen, systemReason(errno));
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failed(ReadFailure::NotRegular, QStringLiteral("not a regular file"));
    }
    size = info.st_size;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failed(ReadFailure::CannotOpen, file.errorString());
    }
#else
    const QFileInfo info(toQPath(path));
    if (info.exists() && !info.isFile())
        return failed(ReadFailure::NotRegular, QStringLiteral("not a regular file"));
    size = info.size();
    file.setFileName(toQPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return failed(ReadFailure::CannotOpen, file.errorString());
#endif
    return std::nullopt;
}

} // namespace

std::unique_ptr<QFile> openRegularFile(const fs::path &path, QString *reason)
{
    auto file = std::make_unique<QFile>();
    qint64 size = 0;
    if (auto refusal = openRegular(*file, path, size)) {
        setReason(reason, refusal->reason);
        return nullptr;
    }
    return file;
}

FileRead readRegularFile(const fs::path &path, qint64 maxBytes)
{
    QFile file;
    qint64 size = 0;
    if (auto refusal = openRegular(file, path, size))
        return std::move(*refusal);
    if (size > maxBytes)
        return failed(ReadFailure::TooLarge, tooLarge(maxBytes));
    // One byte more than allowed shows a file that grew since it was checked.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return failed(ReadFailure::ReadError, file.errorString());
    if (bytes.size() > maxBytes)
        return failed(ReadFailure::TooLarge, tooLarge(maxBytes));
    FileRead result;
    result.bytes = std::move(bytes);
    return result;
}

#ifdef Q_OS_UNIX

bool writeFileAtomically(const fs::path &path, QByteArrayView data, QString *reason)
{
    // Renaming over a link would not write where the link points, but a link, a pipe or a
    // device at the name is not what the user meant to replace: it is refused and kept.
    if (const QString refusal = refusalAt(path); !refusal.isEmpty()) {
        setReason(reason, refusal);
        return false;
    }
    struct stat old
    {
    };
    const bool replacing = ::stat(path.c_str(), &old) == 0;

    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryBeside(path);
        fd = openRetrying(temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setReason(reason, systemReason(errno));
        return false;
    }
    const auto abandon = [&](int error) {
        if (error != 0)
            setReason(reason, systemReason(error));
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    // The new file keeps the old one's permissions; a new name gets the usual ones.
    if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0)
        return abandon(errno);
    if (!writeFully(fd, data, reason))
        return abandon(0);
    if (::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        setReason(reason, systemReason(error));
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        setReason(reason, systemReason(error));
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool appendWhole(const fs::path &path, QByteArrayView data, QString *reason)
{
    if (data.isEmpty())
        return true;
    // O_NONBLOCK: a pipe without a reader fails at once instead of waiting for one; O_NOFOLLOW:
    // a link at the name is refused. What opened is checked before a byte is written.
    const int fd = openRetrying(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int error = errno;
        const QString refusal = refusalAt(path);
        setReason(reason, refusal.isEmpty() ? systemReason(error) : refusal);
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        setReason(reason, whatItIs(info));
        ::close(fd);
        return false;
    }
    const off_t before = info.st_size;
    const bool written = writeFully(fd, data, reason);
    // Cut back what part of the data made it, so the next append starts a fresh line.
    if (!written && ::ftruncate(fd, before) != 0) {
        // The cut failed too; the reason of the write is the one to tell.
    }
    ::close(fd);
    return written;
}

bool isFolder(const fs::path &path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

NewFile createNewFile(const fs::path &path, QString *reason)
{
    const int fd = openRetrying(
        path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
        ::close(fd);
        return NewFile::Created;
    }
    if (errno == EEXIST)
        return NewFile::Taken;
    setReason(reason, systemReason(errno));
    return NewFile::Failed;
}

#else

NewFile createNewFile(const fs::path &path, QString *reason)
{
    if (QFileInfo(toQPath(path)).isSymLink() || QFileInfo::exists(toQPath(path)))
        return NewFile::Taken;
    QFile file(toQPath(path));
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return NewFile::Created;
    if (QFileInfo::exists(toQPath(path)))
        return NewFile::Taken;
    setReason(reason, file.errorString());
    return NewFile::Failed;
}

bool writeFileAtomically(const fs::path &path, QByteArrayView data, QString *reason)
{
    const QFileInfo existing(toQPath(path));
    if (existing.isSymLink() || (existing.exists() && !existing.isFile())) {
        setReason(reason, QStringLiteral("it is not a regular file"));
        return false;
    }
    QSaveFile file(toQPath(path));
    // Unbuffered: a buffered QSaveFile whose final flush fails for lack of space still commits.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setReason(reason, file.errorString());
        return false;
    }
    if (file.write(data.data(), data.size()) != data.size() || !file.flush()) {
        setReason(reason, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setReason(reason, file.errorString());
        return false;
    }
    return true;
}

bool appendWhole(const fs::path &path, QByteArrayView data, QString *reason)
{
    if (data.isEmpty())
        return true;
    const QFileInfo existing(toQPath(path));
    if (existing.isSymLink() || (existing.exists() && !existing.isFile())) {
        setReason(reason, QStringLiteral("it is not a regular file"));
        return false;
    }
    QFile file(toQPath(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        setReason(reason, file.errorString());
        return false;
    }
    const qint64 before = file.size();
    if (file.write(data.data(), data.size()) == data.size())
        return true;
    setReason(reason, file.errorString());
    file.resize(before);
    return false;
}

bool isFolder(const fs::path &path)
{
    return QFileInfo(toQPath(path)).isDir();
}

#endif

} // namespace xlt::core
