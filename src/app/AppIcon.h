#pragma once

// The program's icon for its windows, one file per system: AppIcon.cpp (the SVG in the
// program's resources) and AppIcon_windows.cpp (the icon embedded in xlt.exe, made from the same
// SVG when the program is built: Qt has no SVG plugin there).
#include <QIcon>

namespace xlt::app {

QIcon appIcon();

} // namespace xlt::app
