#include "LogFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace xlt::app {

namespace {

bool writableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

} // namespace

QString chooseLogFolder(const QString &programDir, const QString &documentsDir)
{
    if (writableFolder(programDir) || documentsDir.isEmpty())
        return programDir;
    const QString userFolder =
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

} // namespace xlt::app
