#pragma once

// The default directory of the traffic log files, used when no LOGPATH is stored.

#include <QString>

namespace xlt::session {

/// The name of the log folder in the user's documents folder.
inline constexpr char kUserLogFolderName[] = "XLT logs";

/// The default log directory: `programDir` when the program may write there (a program run
/// from its build folder or from a folder of the user's) and it is not a system folder (/usr,
/// /bin, /sbin and below, where installed programs live); otherwise `documentsDir` + "/XLT
/// logs", which is made when missing. When that cannot be made either, `programDir` all the
/// same: the monitor then reports the log files it cannot write.
QString chooseLogFolder(const QString &programDir, const QString &documentsDir);

/// A folder as a window shows it: under `home` (the user's home folder) as "~/...", the home
/// folder itself as "~", any other path as it is. A name that only starts like the home folder
/// ("/home/ann2" with home "/home/ann") is not under it.
QString shownFolder(const QString &path, const QString &home);

/// chooseLogFolder() with the user's documents folder (QStandardPaths::DocumentsLocation).
QString defaultLogFolder(const QString &programDir);

} // namespace xlt::session
