#pragma once

// The paths behind the log directory chooser: its drive list and its directory list. Paths are
// texts in the platform's native form ("C:\Logs", "/home/eng/logs"), without a
// trailing separator except for a root ("C:\", "/"). They are kept as QString, so a directory
// named in any script is named the same everywhere.

#include <QString>
#include <vector>

namespace xlt::session {

/// A path in the chooser's form: absolute, cleaned ("a/./b/../c" is "a/c"), native separators,
/// no trailing separator except a root. Empty stays empty.
QString chooserPath(const QString &path);

/// The roots of the system's drives in native form: "C:\", "D:\"... on Windows, "/" elsewhere.
std::vector<QString> driveRoots();

/// The index in `roots` of the drive that holds `path` (the longest root that starts it;
/// letters compared without case on Windows), or -1 when none does, as for a removed drive.
int driveIndexOf(const std::vector<QString> &roots, const QString &path);

/// The directory the list shows when a drive is chosen: the program's current directory when
/// it lies on that drive, otherwise the drive's root.
QString driveCurrentDir(const QString &root);

/// One line of the directory list.
struct DirEntry
{
    QString name;      ///< what the line shows: the root itself, or one directory's name
    QString path;      ///< the directory the line stands for, in chooser form
    int depth = 0;     ///< indentation level: the root is 0
    bool open = false; ///< the root, the open directory and every directory between them
};

/// The lines of the directory list when `dir` is open: its ancestors from the root down to
/// `dir` itself (open), then its subdirectories sorted by name without case (one level
/// deeper). Hidden directories are left out. A directory that cannot be read lists no
/// subdirectories.
std::vector<DirEntry> dirListEntries(const QString &dir);

/// True when `path` names an existing directory.
bool isDirectory(const QString &path);

} // namespace xlt::session
