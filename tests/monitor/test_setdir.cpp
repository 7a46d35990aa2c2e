// The log directory chooser "Set Directory" and the path logic behind its two lists.
#include "app/DirList.h"
#include "app/Session.h"
#include "app/ui/frmSetDir.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

using namespace xlt;

namespace {

std::string s(const QString &text)
{
    return text.toStdString();
}

TEST(DirList, ChooserPathIsAbsoluteCleanAndWithoutTrailingSeparator)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the cases are written with '/' roots";
#endif
    const std::string cwd = s(QDir::currentPath());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/tmp/logs/", "/tmp/logs"},  {"/tmp/./logs/old/..", "/tmp/logs"},
        {"//tmp//logs", "/tmp/logs"}, {"/", "/"},
        {"logs", cwd + "/logs"},      {"", ""},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(app::chooserPath(in), out) << "for " << in;
}

TEST(DirList, DriveOfAPathIsTheLongestRootThatHoldsIt)
{
    const std::vector<std::string> letters = {"C:/", "D:/"};
    const std::vector<std::string> roots = {"/", "/media/stick"};
    struct Case
    {
        const std::vector<std::string> *roots;
        std::string path;
        int index;
    };
    const std::vector<Case> cases = {
        {&letters, "D:/Logs", 1},
        {&letters, "C:/", 0},
        {&letters, "D:", 1},       // the drive alone
        {&letters, "E:/Logs", -1}, // a drive that is not there
        {&letters, "Logs", -1},
        {&letters, "", -1},
        {&roots, "/home/eng/logs", 0},
        {&roots, "/media/stick/logs", 1},
        {&roots, "/media/stick", 1},
        {&roots, "/media/sticky/logs", 0}, // a name that merely starts like a root
    };
    for (const Case &c : cases)
        EXPECT_EQ(app::driveIndexOf(*c.roots, c.path), c.index) << "for " << c.path;
}

TEST(DirList, EntriesAreTheAncestorsThenTheSortedSubdirectories)
{
    QTemporaryDir tmp;
    for (const char *name : {"beta", "Alpha", ".hidden", "gamma"})
        ASSERT_TRUE(QDir(tmp.path()).mkdir(QLatin1String(name)));
    QFile file(tmp.path() + QStringLiteral("/a file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string open = app::chooserPath(s(tmp.path()));

    const auto entries = app::dirListEntries(open);
    std::vector<std::string> paths;
    for (const auto &e : entries)
        paths.push_back(e.path);
    const auto self = std::find(paths.begin(), paths.end(), open);
    ASSERT_NE(self, paths.end());
    const std::size_t ancestors = static_cast<std::size_t>(self - paths.begin()) + 1;
    ASSERT_EQ(entries.size(), ancestors + 3);

    EXPECT_EQ(entries.front().path, app::chooserPath(s(QDir::rootPath())));
    EXPECT_EQ(entries.front().name, entries.front().path);
    for (std::size_t i = 0; i < ancestors; ++i) {
        EXPECT_TRUE(entries[i].open);
        EXPECT_EQ(entries[i].depth, static_cast<int>(i));
        if (i > 0) { // each ancestor lies inside the one before
            EXPECT_EQ(entries[i].path.rfind(entries[i - 1].path, 0), 0u);
        }
    }
    const std::vector<std::string> children = {"Alpha", "beta", "gamma"};
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto &child = entries[ancestors + i];
        EXPECT_EQ(child.name, children[i]);
        EXPECT_EQ(child.path, open + "/" + children[i]);
        EXPECT_FALSE(child.open);
        EXPECT_EQ(child.depth, static_cast<int>(ancestors));
    }
}

/// A settings store that remembers what was written.
class MemoryStore final : public app::SettingsStore
{
public:
    std::string read(const std::string &section, const std::string &key,
                     const std::string &fallback) override
    {
        return section == "STARTUP" && key == "LOGPATH" && value ? *value : fallback;
    }
    void write(const std::string &section, const std::string &key, const std::string &text) override
    {
        writes.push_back(section + "/" + key + "=" + text);
        value = text;
    }
    std::optional<std::string> value;
    std::vector<std::string> writes;
};

struct SetDirFixture : ::testing::Test
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext device{link, ports, notifier, pump};
    MemoryStore store;
    QTemporaryDir tmp;
    std::string logs;
    std::optional<app::Session> session;

    SetDirFixture()
    {
        QDir(tmp.path()).mkpath(QStringLiteral("logs/old"));
        QDir(tmp.path()).mkpath(QStringLiteral("logs/new"));
        logs = app::chooserPath(s(tmp.path() + QStringLiteral("/logs")));
    }

    app::Session &open(const std::string &logPath)
    {
        store.value = logPath;
        session.emplace(device, store, "/program/dir");
        return *session;
    }

    static QListWidgetItem *entry(app::frmSetDir &dialog, const std::string &path)
    {
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("Dir1"));
        for (int i = 0; i < list->count(); ++i) {
            if (s(list->item(i)->data(Qt::UserRole).toString()) == path)
                return list->item(i);
        }
        return nullptr;
    }

    static void doubleClick(app::frmSetDir &dialog, const std::string &path)
    {
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("Dir1"));
        QListWidgetItem *item = entry(dialog, path);
        ASSERT_NE(item, nullptr) << path;
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
};

TEST_F(SetDirFixture, OpensAtLogPathWithItsDriveAndFocusOnTheDirectoryList)
{
    app::frmSetDir dialog(open(logs));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set Directory"));
    EXPECT_EQ(dialog.currentDir(), logs);
    auto *drive = dialog.findChild<QComboBox *>(QStringLiteral("Drive1"));
    auto *dir = dialog.findChild<QListWidget *>(QStringLiteral("Dir1"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("bttnOK"));
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("bttnCancel"));
    ASSERT_TRUE(drive && dir && ok && cancel);
    EXPECT_EQ(s(drive->currentText()), app::driveRoots()[0]);
    EXPECT_EQ(dir->currentItem(), entry(dialog, logs));
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    EXPECT_EQ(cancel->text(), QStringLiteral("&Cancel"));

    EXPECT_EQ(QApplication::focusWidget(), dir);
    for (QWidget *next : std::vector<QWidget *>{drive, ok, cancel, dir}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(SetDirFixture, UnreachableLogPathOpensAtTheDefaultWithoutAMessage)
{
    const std::string cwd = app::chooserPath(".");
    for (const std::string &stored :
         {logs + "/removed", std::string("Q:\\Logs"), std::string("")}) {
        SCOPED_TRACE(stored);
        app::frmSetDir dialog(open(stored));
        EXPECT_EQ(dialog.currentDir(), cwd);
        EXPECT_NE(entry(dialog, cwd), nullptr);
        EXPECT_TRUE(notifier.messages.empty());
    }
}

TEST_F(SetDirFixture, DoubleClickAndEnterOpenHighlightDoesNotAndOkStoresTheOpenDirectory)
{
    app::Session &ses = open(logs);
    app::frmSetDir dialog(ses);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    doubleClick(dialog, logs + "/old");
    EXPECT_EQ(dialog.currentDir(), logs + "/old");
    doubleClick(dialog, logs); // an ancestor: back up
    EXPECT_EQ(dialog.currentDir(), logs);

    // Enter on a highlighted line opens it rather than pressing OK.
    auto *dir = dialog.findChild<QListWidget *>(QStringLiteral("Dir1"));
    dir->setCurrentItem(entry(dialog, logs + "/new"));
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.currentDir(), logs + "/new");
    doubleClick(dialog, logs);

    // A directory removed after it was listed is not opened; the list is refreshed.
    ASSERT_TRUE(QDir(QString::fromStdString(logs + "/old")).removeRecursively());
    doubleClick(dialog, logs + "/old");
    EXPECT_EQ(dialog.currentDir(), logs);
    EXPECT_EQ(entry(dialog, logs + "/old"), nullptr);

    dir->setCurrentItem(entry(dialog, logs + "/new")); // highlighted only
    EXPECT_EQ(dialog.currentDir(), logs);

    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("bttnOK")), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ses.LogPath, logs);
    EXPECT_EQ(store.writes, std::vector<std::string>{"STARTUP/LOGPATH=" + logs});
}

TEST_F(SetDirFixture, CancelEscAndCloseAfterBrowsingChangeNothing)
{
    const std::vector<std::pair<const char *, std::function<void(app::frmSetDir &)>>> ways = {
        {"Cancel",
         [](app::frmSetDir &d) {
             QTest::mouseClick(d.findChild<QPushButton *>(QStringLiteral("bttnCancel")),
                               Qt::LeftButton);
         }},
        {"Esc", [](app::frmSetDir &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](app::frmSetDir &d) { d.close(); }},
    };
    for (const auto &[name, leave] : ways) {
        SCOPED_TRACE(name);
        app::Session &ses = open(logs);
        app::frmSetDir dialog(ses);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        doubleClick(dialog, logs + "/old");
        leave(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(ses.LogPath, logs);
        EXPECT_TRUE(store.writes.empty());
    }
}

} // namespace
