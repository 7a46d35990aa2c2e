#pragma once

// Where saved PR01 configurations live: the folder "PR01Cfg" beside the program. An installed
// program usually cannot write there, so when that folder cannot be made or written, or the
// program sits in a system folder (core::isSystemFolder: /usr/bin, Program Files), the
// folder "PR01Cfg" in the user's data directory (QStandardPaths::AppDataLocation, on Linux
// ~/.local/share/XLT/XLT/PR01Cfg, on Windows %APPDATA%\XLT\XLT\PR01Cfg) takes its place.

#include <QString>
#include <QStringList>

namespace xlt::pr01 {

inline constexpr const char *kConfigFolderName = "PR01Cfg";

/// Makes sure the configuration folder exists and returns its path (no trailing separator).
/// Prefers `programDir`/PR01Cfg; falls back to the user's data directory. When neither can be
/// made, returns the preferred path all the same: listing it gives nothing and saving into it
/// fails with the usual message.
QString ensureConfigFolder(const QString &programDir);

/// The names (file names without ".ufg") of the configuration files in `folder`, sorted by
/// name. The match on ".ufg" is case-sensitive; the file ".ufg" (empty name) is included.
QStringList listConfigNames(const QString &folder);

/// `folder` + "/" + `name` + ".ufg".
QString configFilePath(const QString &folder, const QString &name);

} // namespace xlt::pr01
