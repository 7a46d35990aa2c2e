#include "DirList.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace xlt::session {

namespace {

QString toQt(const QString &path)
{
    return QDir::fromNativeSeparators(path);
}

QString fromQt(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

constexpr Qt::CaseSensitivity kDriveCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

/// Whether `root` (with its trailing '/') starts `path` (both in Qt form).
bool rootHolds(const QString &root, const QString &path)
{
    if (path.startsWith(root, kDriveCase))
        return true;
    // "C:" names the root "C:/" as well.
    return path.size() + 1 == root.size() && root.startsWith(path, kDriveCase);
}

} // namespace

QString chooserPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    return fromQt(QDir::cleanPath(QFileInfo(toQt(path)).absoluteFilePath()));
}

std::vector<QString> driveRoots()
{
    std::vector<QString> roots;
    for (const QFileInfo &drive : QDir::drives())
        roots.push_back(fromQt(drive.absoluteFilePath()));
    return roots;
}

int driveIndexOf(const std::vector<QString> &roots, const QString &path)
{
    const QString target = toQt(path);
    int best = -1;
    qsizetype bestLength = 0;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        QString root = toQt(roots[i]);
        if (!root.endsWith(QLatin1Char('/')))
            root += QLatin1Char('/');
        if (root.size() > bestLength && rootHolds(root, target)) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

QString driveCurrentDir(const QString &root)
{
    const QString current = chooserPath(fromQt(QDir::currentPath()));
    return driveIndexOf({root}, current) == 0 ? current : chooserPath(root);
}

std::vector<DirEntry> dirListEntries(const QString &dir)
{
    const QString open = toQt(chooserPath(dir));
    std::vector<DirEntry> entries;

    // Ancestors: walk up to the root by name (no directory has to exist for that), then
    // reverse.
    QString path = open;
    for (;;) {
        const bool root = QDir(path).isRoot();
        const QString name = root ? QDir::toNativeSeparators(path) : QFileInfo(path).fileName();
        entries.push_back({name, fromQt(path), 0, true});
        const QString parent = QFileInfo(path).path();
        if (root || parent == path)
            break;
        path = parent;
    }
    std::reverse(entries.begin(), entries.end());
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i].depth = static_cast<int>(i);

    const int childDepth = static_cast<int>(entries.size());
    const QDir here(open);
    const QStringList children = here.entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString &child : children) {
        entries.push_back({child, fromQt(here.absoluteFilePath(child)), childDepth, false});
    }
    return entries;
}

bool isDirectory(const QString &path)
{
    return !path.isEmpty() && QFileInfo(toQt(path)).isDir();
}

} // namespace xlt::session
