#include "LogFolder.h"

#include "core/FileIo.h"

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
    if ((writableFolder(programDir) && !core::isSystemFolder(programDir)) || documentsDir.isEmpty())
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
