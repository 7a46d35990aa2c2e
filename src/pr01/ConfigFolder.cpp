#include "ConfigFolder.h"

#include "UfgFile.h"
#include "core/FileIo.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace xlt::pr01 {

namespace {

/// Makes `path` when missing; true when it then exists as a writable folder.
bool usableFolder(const QString &path)
{
    if (path.isEmpty() || !QDir().mkpath(path))
        return false;
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

} // namespace

QString ensureConfigFolder(const QString &programDir)
{
    const QString folderName = QString::fromLatin1(kConfigFolderName);
    QString beside = QDir(programDir).filePath(folderName);
    // Not made inside /usr/bin or Program Files, even by an administrator who may write there.
    if (!core::isSystemFolder(programDir) && usableFolder(beside))
        return beside;
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!dataDir.isEmpty()) {
        QString inData = QDir(dataDir).filePath(folderName);
        if (usableFolder(inData))
            return inData;
    }
    return beside;
}

QStringList listConfigNames(const QString &folder)
{
    QDir dir(folder);
    const QStringList files = dir.entryList(
        {QStringLiteral("*.ufg")}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name);
    QStringList names;
    names.reserve(files.size());
    for (const QString &file : files)
        names.push_back(file.chopped(4));
    return names;
}

QString configFilePath(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name + QString::fromLatin1(kUfgSuffix);
}

} // namespace xlt::pr01
