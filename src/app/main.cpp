#include "app/Session.h"
#include "app/Settings.h"
#include "app/ui/MDIForm1.h"
#include "app/ui/QtEventPump.h"
#include "app/ui/QtNotifier.h"
#include "link/DeviceContext.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("XLT"));
    QApplication::setOrganizationName(QStringLiteral("XLT"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/xlt.svg")));

    auto ports = xlt::link::makeSystemPortSource();
    xlt::link::SerialLink link(*ports);
    xlt::app::QtNotifier notifier;
    xlt::app::QtEventPump pump;
    xlt::link::DeviceContext device(link, *ports, notifier, pump);
    xlt::app::QtSettingsStore settings;
    const QString programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    xlt::app::Session session(device, settings, programDir);

    xlt::app::MDIForm1 mainWindow(session);
    mainWindow.show();
    return QApplication::exec();
}
