#include "app/ui/MDIForm1.h"
#include "app/ui/frmAbout.h"
#include "session/Session.h"
#include "support/FakeLink.h"
#include "support/MapStore.h"
#include "support/RecordingNotifier.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
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

QStringList menuCaptions(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

TEST_F(MainWindowFixture, CaptionAndMenuBarAreExact)
{
    app::MDIForm1 window(session);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Xeltan Utilities"));
    QStringList menus;
    for (QAction *a : window.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Utiliites", "&Help"}));
    auto *util = window.findChild<QMenu *>(QStringLiteral("mnuUtilites"));
    ASSERT_NE(util, nullptr);
    EXPECT_EQ(menuCaptions(util), (QStringList{"&Set XLT Options", "-", "&Monitor", "-",
                                               "&Set PR01 Configuration", "-", "&Update XLT OS"}));
    EXPECT_EQ(menuCaptions(window.findChild<QMenu *>(QStringLiteral("mnuFile"))),
              QStringList{"E&xit"});
    EXPECT_EQ(menuCaptions(window.findChild<QMenu *>(QStringLiteral("mnuHelp"))),
              QStringList{"&About"});
}

TEST_F(MainWindowFixture, EachMenuItemTwiceGivesOneWindow)
{
    app::MDIForm1 window(session);
    window.show();
    auto *mdi = window.findChild<QMdiArea *>();
    const char *children[] = {"mnuMonitor", "mnuSetID003", "mnuUpdateXLT"};
    for (const char *name : children) {
        auto *action = window.findChild<QAction *>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        action->trigger();
    }
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    // The last one chosen is in front.
    window.findChild<QAction *>(QStringLiteral("mnuMonitor"))->trigger();
    ASSERT_NE(mdi->activeSubWindow(), nullptr);
    EXPECT_EQ(mdi->activeSubWindow()->widget()->objectName(), QStringLiteral("frmMonitor"));

    auto *options = window.findChild<QAction *>(QStringLiteral("mnuSetXLTOptions"));
    options->trigger();
    options->trigger();
    int optionWindows = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("frmOptions") && w->isVisible())
            ++optionWindows;
    EXPECT_EQ(optionWindows, 1);
}

TEST_F(MainWindowFixture, ClosingTheMainWindowClosesEveryChild)
{
    app::MDIForm1 window(session);
    window.show();
    window.showMonitor();
    window.showSetID003();
    window.showUpdate();
    auto *mdi = window.findChild<QMdiArea *>();
    ASSERT_EQ(mdi->subWindowList().size(), 3);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(mdi->subWindowList().isEmpty());
}

TEST(AboutBox, VersionTextAndCaption)
{
    EXPECT_EQ(app::versionText(1, 0, 3), QStringLiteral("Version 1.0.3"));
    app::frmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About XLT"));
    EXPECT_EQ(about.findChild<QLabel *>(QStringLiteral("lblTitle"))->text(), QStringLiteral("XLT"));
    EXPECT_TRUE(about.findChild<QLabel *>(QStringLiteral("lblVersion"))
                    ->text()
                    .startsWith(QStringLiteral("Version ")));
}

TEST(AboutBox, EnterAndEscapeCloseIt)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        app::frmAbout about;
        QTimer::singleShot(0, &about, [&about, key] { QTest::keyClick(&about, key); });
        about.exec(); // returns only once the key closed the box
        EXPECT_FALSE(about.isVisible());
    }
}

} // namespace
