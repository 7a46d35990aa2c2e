#include "FileIo.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace xlt::core {

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

// Opens `path` for reading only when it is a regular file of at most `maxBytes`. On Unix the
// check is made on the open descriptor (opened without blocking, so a FIFO cannot hang the
// open), which leaves no gap between the check and the read.
std::optional<FileRead> openRegular(QFile &file, const QString &path, qint64 maxBytes)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failed(ReadFailure::CannotOpen, qt_error_string(errno));
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failed(ReadFailure::NotRegular, QStringLiteral("not a regular file"));
    }
    if (info.st_size > maxBytes) {
        ::close(fd);
        return failed(ReadFailure::TooLarge, tooLarge(maxBytes));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failed(ReadFailure::CannotOpen, file.errorString());
    }
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return failed(ReadFailure::NotRegular, QStringLiteral("not a regular file"));
    if (info.size() > maxBytes)
        return failed(ReadFailure::TooLarge, tooLarge(maxBytes));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(ReadFailure::CannotOpen, file.errorString());
#endif
    return std::nullopt;
}

// Writes all of `data`; a short write is retried so that the failing call names the reason.
bool writeFully(QFileDevice &file, QByteArrayView data, QString *reason)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = file.write(data.data() + done, data.size() - done);
        if (n <= 0) {
            if (reason)
                *reason = file.errorString();
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

FileRead readRegularFile(const QString &path, qint64 maxBytes)
{
    QFile file;
    if (auto refusal = openRegular(file, path, maxBytes))
        return std::move(*refusal);
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

bool writeFileAtomically(const QString &path, QByteArrayView data, QString *reason)
{
    // Renaming over a device, a pipe or a folder would replace it (root may do that to
    // /dev/null), so only a regular file, or none yet, is replaced.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        if (reason)
            *reason = QStringLiteral("not a regular file");
        return false;
    }
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile whose final flush fails for lack of space still commits
    // (the old file is replaced by a short or empty one), so every write is made and checked
    // here before commit() syncs and renames.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    if (!writeFully(file, data, reason) || !file.flush() || file.error() != QFileDevice::NoError) {
        if (reason && reason->isEmpty())
            *reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

bool appendWhole(const QString &path, QByteArrayView data, QString *reason)
{
    if (data.isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    if (writeFully(file, data, reason))
        return true;
    // Cut back what part of the data made it, so the next append starts a fresh line.
    file.resize(before);
    return false;
}

} // namespace xlt::core
