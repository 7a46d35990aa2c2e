// Takes the README's screenshots of XLT's windows: builds the program's main window over the
// same session as the program (the system's ports, the serial link, Qt message boxes), so
// that it talks to the emulator that scripts/screenshots.sh starts, opens each task window
// from its menu procedure, lets it work for a moment and saves what it shows as PNG files.
// Usage: xlt_screenshots OUTPUT_DIR
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
#include <QElapsedTimer>
#include <QIcon>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

void pause(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void click(QWidget &window, const char *button)
{
    if (auto *b = window.findChild<QPushButton *>(QLatin1String(button)))
        b->click();
    else
        std::fprintf(stderr, "xlt_screenshots: no button %s\n", button);
}

bool save(QWidget &widget, const QString &path)
{
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "NOT saved", qPrintable(path));
    return saved;
}

/// The window that holds `name` (a task window inside the main window, or a separate one).
QWidget *windowNamed(const char *name)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String(name) && top->isVisible())
            return top;
        if (auto *child = top->findChild<QWidget *>(QLatin1String(name)))
            return child;
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("XLT"));
    QApplication::setOrganizationName(QStringLiteral("XLT"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/xlt.svg")));
    if (argc != 2) {
        std::fputs("usage: xlt_screenshots OUTPUT_DIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    auto systemPorts = xlt::link::makeSystemPortSource();
    xlt::link::ChoosablePorts ports(*systemPorts);
    xlt::link::LineWorker line([&ports] { return std::make_unique<xlt::link::SerialLink>(ports); });
    xlt::session::QtNotifier notifier;
    xlt::link::DeviceContext device(line, ports, notifier);
    xlt::session::QtSettingsStore settings;
    xlt::session::Session session(device, settings, QDir::tempPath());

    bool ok = true;
    {
        xlt::app::MDIForm1 main(session, ports);
        main.resize(1100, 760);
        main.show();
        pause(300);

        main.showMonitor();
        pause(300);
        if (QWidget *monitor = windowNamed("frmMonitor")) {
            click(*monitor, "bttnRun");
            pause(4000);
            ok &= save(main, out.filePath(QStringLiteral("monitor.png")));
            click(*monitor, "Command2");
            pause(300);
        }
        // One task window per picture: the others close (each runs its closing handler).
        auto *mdi = main.findChild<QMdiArea *>(QStringLiteral("mdiArea"));
        mdi->closeAllSubWindows();

        main.showSetID003();
        pause(300);
        if (QWidget *pr01 = windowNamed("frmSetID003")) {
            click(*pr01, "bttnGetCfg");
            pause(1000);
            ok &= save(main, out.filePath(QStringLiteral("pr01.png")));
        }
        mdi->closeAllSubWindows();

        main.showUpdate();
        pause(500);
        ok &= save(main, out.filePath(QStringLiteral("update.png")));

        main.showOptions();
        pause(1000);
        if (QWidget *options = windowNamed("frmOptions"))
            ok &= save(*options, out.filePath(QStringLiteral("options.png")));
    }
    line.stop(); // before the device context goes: see the program's main
    return ok ? 0 : 1;
}
