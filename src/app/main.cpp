#include "app/AppIcon.h"
#include "app/ui/MDIForm1.h"
#include "link/ChoosablePorts.h"
#include "link/DeviceContext.h"
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "session/ui/QtNotifier.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("XLT"));
    QApplication::setOrganizationName(QStringLiteral("XLT"));
    QApplication::setWindowIcon(xlt::app::appIcon());
    // Ties the windows to the installed desktop entry (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.xeltan.XLT"));

    auto systemPorts = xlt::link::makeSystemPortSource();
    // The windows see the device chosen in the main window's status bar (all ports until one
    // is chosen).
    xlt::link::ChoosablePorts ports(*systemPorts);
    // The serial line lives on a thread of its own: windows never wait on it. The port source
    // only reads the file system and guards the choice, so the line's thread may share it.
    xlt::link::LineWorker line([&ports] { return std::make_unique<xlt::link::SerialLink>(ports); });
    xlt::session::QtNotifier notifier;
    xlt::link::DeviceContext device(line, ports, notifier);
    xlt::session::QtSettingsStore settings;
    const QString programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    xlt::session::Session session(device, settings, programDir);

    int status = 0;
    {
        xlt::app::MDIForm1 mainWindow(session, ports);
        mainWindow.show();
        status = QApplication::exec();
    }
    // The windows are gone and their operations cancelled: the one still on the line gives up
    // its exchange within milliseconds and closes its port, and the thread ends.
    line.stop();
    return status;
}
