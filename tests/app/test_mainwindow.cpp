#include "app/ui/MDIForm1.h"
#include "app/ui/frmAbout.h"
#include "session/Session.h"
#include "support/FakeLink.h"
#include "support/MapStore.h"
#include "support/RecordingNotifier.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace xlt;

namespace {

struct MainWindowFixture : ::testing::Test
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext device{link, ports, notifier};
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
    app::MDIForm1 window(session);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Xeltan Utilities"));
    EXPECT_EQ(captions(window.menuBar()), (QStringList{"&File", "&Utiliites", "&Help"}));
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuUtilites")),
              (QStringList{"&Set XLT Options", "-", "&Monitor", "-", "&Set PR01 Configuration", "-",
                           "&Update XLT OS"}));
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuFile")), QStringList{"E&xit"});
    EXPECT_EQ(captions(window.findChild<QMenu *>("mnuHelp")), QStringList{"&About"});
}

TEST_F(MainWindowFixture, EachMenuItemTwiceGivesOneWindow)
{
    app::MDIForm1 window(session);
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

    EXPECT_TRUE(window.close()); // closing the main window closes every child
    EXPECT_TRUE(mdi->subWindowList().isEmpty());
}

// The version line comes from the build; Enter and Escape close the box.
TEST(AboutBox, VersionAndKeys)
{
    EXPECT_EQ(app::versionText(1, 0, 3), QStringLiteral("Version 1.0.3"));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        app::frmAbout about;
        EXPECT_TRUE(about.findChild<QLabel *>("lblVersion")->text().startsWith("Version "));
        QTimer::singleShot(0, &about, [&about, key] { QTest::keyClick(&about, key); });
        about.exec(); // returns only once the key closed the box
        EXPECT_FALSE(about.isVisible());
    }
}

} // namespace
