#pragma once

#include "Settings.h"
#include "link/DeviceContext.h"

#include <QString>

namespace xlt::session {

/// What the windows share: the device context (with the one CmdPacket), the stored setting and
/// the log directory LogPath, read at start-up before any task window opens.
struct Session
{
    Session(link::DeviceContext &deviceContext, SettingsStore &settingsStore,
            QString applicationDir)
        : device(deviceContext)
        , settings(settingsStore)
        , programDir(std::move(applicationDir))
        , LogPath(loadLogPath(settings, programDir))
    {}

    link::DeviceContext &device;
    SettingsStore &settings;
    QString programDir; ///< the directory that holds the program, no trailing separator
    QString LogPath;    ///< directory of the traffic log files
};

} // namespace xlt::session
