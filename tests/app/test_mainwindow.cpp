#include "app/ui/DeviceBar.h"
#include "app/ui/MDIForm1.h"
#include "app/ui/frmAbout.h"
#include "link/ChoosablePorts.h"
#include "link/USB_COM.h"
#include "session/Session.h"
#include "support/MapStore.h"
#include "update/UpdateFixture.h"
#include "update/ui/frmXLTUpdate.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace xlt;

namespace {

/// The main window over a device on COM5 that answers at once (test::UpdateDevice), whose
/// ports the status bar narrows as the program's.
struct MainWindowFixture : ::testing::Test, test::UpdateDevice
{
    link::ChoosablePorts choosable{ports};
    link::DeviceContext device{line, choosable, notifier};
    test::MapStore store;
    session::Session session{device, store, "/tmp"};
};

QStringList captions(const QWidget *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// The main window has no form: its caption and its menus are texts of its own code.
TEST_F(MainWindowFixture, CaptionAndMenuBarAreExact)
{
    app::MDIForm1 window(session, choosable);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Xeltan Utilities"));
    EXPECT_EQ(captions(window.menuBar()), (QStringList{"&File", "&Utiliites", "&Help"}));
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuUtilites")),
              (QStringList{"&Set XLT Options", "-", "&Monitor", "-", "&Set PR01 Configuration", "-",
                           "&Update XLT OS"}));
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuFile")), QStringList{"E&xit"});
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuHelp")), QStringList{"&About"});
}

// File > Exit during an update (here: in its first-stage pause) refuses before any window is
// closed; otherwise it closes every window.
TEST_F(MainWindowFixture, EachMenuItemTwiceGivesOneWindowAndExitWaitsForTheUpdate)
{
    app::MDIForm1 window(session, choosable);
    window.show();
    auto *mdi = window.findChild<QMdiArea *>();
    for (const char *name : {"mnuMonitor", "mnuSetID003", "mnuUpdateXLT"}) {
        window.findChild<QAction *>(name)->trigger();
        window.findChild<QAction *>(name)->trigger();
    }
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    window.findChild<QAction *>("mnuMonitor")->trigger(); // the last one chosen is in front
    ASSERT_NE(mdi->activeSubWindow(), nullptr);
    EXPECT_EQ(mdi->activeSubWindow()->widget()->objectName(), QStringLiteral("frmMonitor"));
    for (int i = 0; i < 2; ++i)
        window.findChild<QAction *>("mnuSetXLTOptions")->trigger();
    EXPECT_EQ(window.findChildren<QWidget *>("frmOptions").size(), 1);

    auto *update = window.findChild<update::frmXLTUpdate *>();
    const QTemporaryDir dir;
    const QString file = test::writeFile(dir.filePath("u.dpc"), test::makeDpc(300));
    update->setFileChooser([&](QWidget *) { return std::optional(file); });
    update->findChild<QPushButton *>("bttnOpen")->click();
    notifier.messages.clear();
    pauses.onPause = [&] {
        if (!notifier.messages.empty())
            return;
        EXPECT_FALSE(window.close());
        EXPECT_EQ(mdi->subWindowList().size(), 3);
        EXPECT_EQ(notifier.texts(), std::vector<std::string>{"The firmware update is still "
                                                             "running. Wait until it has ended, "
                                                             "then close the window."});
    };
    update->findChild<QPushButton *>("bttnUpdate")->click();
    EXPECT_EQ(notifier.messages.size(), 1u);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(mdi->subWindowList().isEmpty());
}

// Two device ports: the windows use the last until the first is chosen in the status bar, and
// each names the port in its title while it talks. A port plugged in shows in the drop-down
// (here by the watcher: a change in the emulator's registry folder), an unplugged chosen one
// in the status line, and the windows then find no device.
TEST_F(MainWindowFixture, DeviceBarChoosesTheDeviceAndFollowsPlugAndUnplug)
{
    const QTemporaryDir registry; // private, as the registry must be
    qputenv("XLT_SIM_DIR", registry.path().toLocal8Bit());
    ports.records.push_back({"\\Device\\USBSER001", "COM6", "/dev/zero", "SN6"});
    app::MDIForm1 window(session, choosable);
    qunsetenv("XLT_SIM_DIR");
    window.show();
    auto *devices = window.findChild<QComboBox *>("cmbDevice");
    const auto *status = window.findChild<QLabel *>("lblDeviceStatus");
    EXPECT_EQ(status->text(), "Using COM6 (/dev/zero), serial SN6: the last device port");
    ASSERT_EQ(devices->count(), 3);
    devices->setCurrentIndex(1);
    EXPECT_EQ(status->text(), "Using COM5 (/dev/null)");

    QString titleWhileReading;
    link.responder = [&](const test::Bytes &command) {
        titleWhileReading = window.findChild<QWidget *>("frmOptions")->windowTitle();
        return answer(command);
    };
    window.findChild<QAction *>("mnuSetXLTOptions")->trigger();
    EXPECT_EQ(link.openedPort, 5);
    EXPECT_EQ(titleWhileReading, "Set XLT Options - COM5");
    EXPECT_EQ(window.findChild<QWidget *>("frmOptions")->windowTitle(), "Set XLT Options");

    window.findChild<QAction *>("mnuMonitor")->trigger();
    auto *monitor = window.findChild<QWidget *>("frmMonitor");
    QString titleWhileRunning;
    pauses.onPause = [&] {
        titleWhileRunning = monitor->parentWidget()->windowTitle(); // its sub-window's
        monitor->findChild<QPushButton *>("Command2")->click();
    };
    monitor->findChild<QPushButton *>("bttnRun")->click();
    EXPECT_EQ(titleWhileRunning, "XLT communications monitor - COM5");
    EXPECT_EQ(monitor->parentWidget()->windowTitle(), "XLT communications monitor");

    ports.records.push_back({"\\Device\\USBSER002", "COM7", "/dev/zero"});
    QFile(registry.filePath("port-0")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(QTest::qWaitFor([&] { return devices->count() == 4; }, 10000));
    EXPECT_EQ(devices->currentIndex(), 1);

    ports.records.erase(ports.records.begin());
    window.findChild<app::DeviceBar *>()->refresh();
    EXPECT_EQ(status->text(), "COM5 (/dev/null) is not connected: the windows find no device "
                              "until it is back or another is chosen");
    EXPECT_EQ(devices->itemText(devices->currentIndex()), "COM5 (/dev/null) (not connected)");
    notifier.messages.clear();
    monitor->findChild<QPushButton *>("bttnRun")->click();
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{link::kNoDeviceText});
}

// The version line comes from the build; Enter closes the box (Escape closes any dialog).
TEST(AboutBox, VersionAndEnter)
{
    EXPECT_EQ(app::versionText(1, 0, 3), QStringLiteral("Version 1.0.3"));
    app::frmAbout about;
    EXPECT_TRUE(about.findChild<QLabel *>("lblVersion")->text().startsWith("Version "));
    QTimer::singleShot(0, &about, [&about] { QTest::keyClick(&about, Qt::Key_Return); });
    about.exec(); // returns only once the key closed the box
}

} // namespace
