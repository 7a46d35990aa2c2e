#include "LogFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace xlt::session {

namespace {

bool writableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

} // namespace

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

QString shownFolder(const QString &path, const QString &home)
{
    const QString cleanHome = QDir::cleanPath(home);
    if (cleanHome.isEmpty() || cleanHome == QLatin1String("/"))
        return path;
    const QString clean = QDir::cleanPath(path);
    if (clean == cleanHome)
        return QStringLiteral("~");
    if (clean.startsWith(cleanHome + QLatin1Char('/')))
        return QDir::toNativeSeparators(QLatin1Char('~') + clean.mid(cleanHome.size()));
    return path;
}

QString chooseLogFolder(const QString &programDir, const QString &documentsDir)
{
    if ((writableFolder(programDir) && !isSystemFolder(programDir)) || documentsDir.isEmpty())
        return programDir;
    QString userFolder =
        QDir::toNativeSeparators(QDir(documentsDir).filePath(QLatin1String(kUserLogFolderName)));
    if (QDir().mkpath(userFolder) && writableFolder(userFolder))
        return userFolder;
    return programDir;
}

QString defaultLogFolder(const QString &programDir)
{
    return chooseLogFolder(programDir,
                           QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

} // namespace xlt::session
