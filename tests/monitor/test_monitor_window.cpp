// The traffic monitor window against a scripted link and the emulated device in-process, with
// its real poll timer.
#include "app/DirList.h"
#include "app/Session.h"
#include "app/ui/frmSetDir.h"
#include "monitor/TrafficListing.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmMonitor.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

using namespace xlt;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kWaitMs = 5000;

class MemoryStore final : public app::SettingsStore
{
public:
    std::string read(const std::string &, const std::string &, const std::string &f) override
    {
        return f;
    }
    void write(const std::string &section, const std::string &key, const std::string &v) override
    {
        writes.push_back(section + "/" + key + "=" + v);
    }
    std::vector<std::string> writes;
};

Bytes records(std::uint8_t tag, int count)
{
    const Bytes frame{0x7F, 0x80, 0x01, 0x07, 0x12, 0x02};
    Bytes out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), {tag, static_cast<std::uint8_t>(i), 0, 0, 0,
                               static_cast<std::uint8_t>(frame.size())});
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the final CRLF
    return lines;
}

struct MonitorWindowFixture : ::testing::Test
{
    sim::DeviceModel model{[] {
        sim::DeviceOptions options;
        options.traffic = sim::TrafficLevel::Flood;
        return options;
    }()};
    sim::InProcessLink simLink{model};
    test::FakeLink fake;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    MemoryStore store;
    QTemporaryDir logDir;
    std::optional<link::DeviceContext> device;
    std::optional<app::Session> session;
    std::unique_ptr<monitor::frmMonitor> window;

    MonitorWindowFixture() { ports.records = {{"\\Device\\USBSERV0", "COM129", "/dev/null"}}; }

    monitor::frmMonitor &open(link::LinkLibrary &link)
    {
        device.emplace(link, ports, notifier, pump);
        session.emplace(*device, store, "/program/dir");
        session->LogPath = logDir.path().toStdString();
        reopen();
        return *window;
    }
    void reopen()
    {
        window = std::make_unique<monitor::frmMonitor>(*session);
        window->show();
    }

    template<typename T = QWidget> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    monitor::TrafficListBox *linesOf(const char *list) const
    {
        return child<monitor::TrafficListBox>(list);
    }
    void click(const char *name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    QStringList lines(const char *list) const
    {
        QStringList out;
        auto *box = linesOf(list);
        for (int i = 0; i < box->count(); ++i)
            out << box->line(i);
        return out;
    }
    bool idle() const
    {
        return child<QPushButton>("bttnRun")->isEnabled() &&
               child<QPushButton>("bttnLog")->isEnabled() && !child<QTimer>("tmrPoll")->isActive();
    }
    bool waitIdle()
    {
        return QTest::qWaitFor([this] { return idle(); }, kWaitMs);
    }
    bool waitLines(const char *list, int atLeast)
    {
        return QTest::qWaitFor([&] { return lines(list).size() >= atLeast; }, kWaitMs);
    }
    QStringList logFiles(const QString &suffix) const
    {
        return QDir(logDir.path()).entryList({QStringLiteral("XLT_log_ *") + suffix}, QDir::Files);
    }
    QString logPath(const QString &suffix) const
    {
        const QStringList names = logFiles(suffix);
        return names.size() == 1 ? logDir.filePath(names[0]) : QString();
    }
};

TEST_F(MonitorWindowFixture, ControlsCarryTheirCaptionsAndStartIdle)
{
    open(fake);
    EXPECT_EQ(window->objectName(), QStringLiteral("frmMonitor"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("XLT communications monitor"));
    const std::vector<std::pair<const char *, QString>> buttons = {
        {"bttnRun", "&Run"},
        {"Command2", "&Stop"},
        {"bttnLog", "..."},
        {"bttnClear", "&Clear List"},
        {"bttnClearHost", "Clear &List"}};
    for (const auto &[name, caption] : buttons) {
        EXPECT_EQ(child<QPushButton>(name)->text(), caption) << name;
        EXPECT_TRUE(child<QPushButton>(name)->isEnabled()) << name;
    }
    EXPECT_EQ(child<QLabel>("Label1")->text(), QStringLiteral("Log File Location:"));
    EXPECT_EQ(child<QLabel>("lblLog")->text(), logDir.path());
    EXPECT_EQ(child<QGroupBox>("Frame2")->title(), QStringLiteral("Target Traffic"));
    EXPECT_EQ(child<QGroupBox>("Frame3")->title(), QStringLiteral("Host Traffic"));
    EXPECT_NE(child<QWidget>("Frame1"), nullptr);
    for (const char *name : {"lblTarget", "lblHost"}) {
        EXPECT_EQ(child<QLabel>(name)->text(), QString()) << name;
        EXPECT_EQ(child<QLabel>(name)->font().family(), QStringLiteral("Arial")) << name;
    }
    int detected = 0;
    for (auto *l : window->findChildren<QLabel *>())
        detected += l->text() == QStringLiteral("Detected Protocol:");
    EXPECT_EQ(detected, 2);
    for (const char *name : {"List1", "List2"}) {
        EXPECT_EQ(linesOf(name)->count(), 0);
    }
    auto *timer = child<QTimer>("tmrPoll");
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 50);
}

TEST_F(MonitorWindowFixture, RunWithoutDeviceShowsOnlyTheMessage)
{
    open(fake);
    ports.records.clear();
    linesOf("List1")->append(QStringLiteral("kept"));
    click("bttnRun");
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"No XLT device detected"});
    EXPECT_TRUE(idle());
    EXPECT_EQ(lines("List1"), QStringList{QStringLiteral("kept")});
    EXPECT_EQ(fake.openCalls, 0);
}

TEST_F(MonitorWindowFixture, RunListsAndLogsBothSidesUntilStop)
{
    open(simLink);
    click("bttnRun");
    EXPECT_FALSE(child<QPushButton>("bttnRun")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("bttnLog")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Command2")->isEnabled());
    EXPECT_TRUE(child<QTimer>("tmrPoll")->isActive());
    EXPECT_EQ(device->holder, "traffic monitor");
    ASSERT_TRUE(waitLines("List1", 100));
    ASSERT_TRUE(waitLines("List2", 100));

    // Another window wanting the device meanwhile is refused.
    EXPECT_TRUE(link::refuseWhileHeld(*device));
    notifier.messages.clear();

    click("Command2");
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(simLink.isOpen());
    EXPECT_EQ(device->holder, "");
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(child<QLabel>("lblTarget")->text(), QStringLiteral("SSP"));
    EXPECT_EQ(child<QLabel>("lblHost")->text(), QStringLiteral("PR01"));
    EXPECT_EQ(fileLines(logPath(".tgt")), lines("List1"));
    EXPECT_EQ(fileLines(logPath(".xlt")), lines("List2"));
    // The newest line is selected, so the list shows it.
    EXPECT_EQ(linesOf("List1")->currentRow(), linesOf("List1")->count() - 1);
}

TEST_F(MonitorWindowFixture, StopWhileIdleDoesNotEndTheNextRun)
{
    open(simLink);
    click("Command2");
    EXPECT_TRUE(idle());
    EXPECT_EQ(simLink.openCount(), 0);
    click("bttnRun");
    const int before = model.commandCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.commandCount() >= before + 3; }, kWaitMs));
    EXPECT_FALSE(idle());
    click("Command2");
    click("Command2"); // twice is as once
    ASSERT_TRUE(waitIdle());
}

TEST_F(MonitorWindowFixture, ClearListDuringARunEmptiesTheListButNotTheLog)
{
    open(fake).setEventInterval(std::chrono::milliseconds(0));
    fake.replies = {{link::ReplyOk, {}}, {link::ReplyOk, records(monitor::kTagTargetTx, 3)}};
    int pumps = 0;
    pump.onPump = [&] {
        if (++pumps == 1) // after the reply's first record, as if clicked at that moment
            click("bttnClear");
    };
    click("bttnRun");
    ASSERT_TRUE(QTest::qWaitFor([&] { return pumps >= 3; }, kWaitMs));
    EXPECT_EQ(lines("List1").size(), 10);
    EXPECT_EQ(fileLines(logPath(".tgt")).size(), 15);
    EXPECT_EQ(fileLines(logPath(".tgt")).mid(5), lines("List1"));

    click("bttnClearHost"); // the other side's button clears only its own list
    click("bttnClear");
    EXPECT_TRUE(lines("List1").isEmpty());
    click("Command2");
    ASSERT_TRUE(waitIdle());
}

TEST_F(MonitorWindowFixture, FailedCaptureReadEndsTheRunWithOneMessage)
{
    open(fake);
    fake.replies = {{link::ReplyOk, {}},
                    {link::ReplyOk, records(monitor::kTagTargetRx, 2)},
                    {link::PacketError, {}}};
    click("bttnRun");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
    EXPECT_FALSE(fake.isOpen);
    EXPECT_EQ(lines("List1").size(), 10);
    EXPECT_EQ(fake.sent.size(), 3u);
}

TEST_F(MonitorWindowFixture, UnpluggedDeviceEndsTheRunWithOneMessage)
{
    open(simLink);
    click("bttnRun");
    ASSERT_TRUE(waitLines("List1", 10));
    model.options().disconnectAfter = 1;
    model.replug();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PORT ERROR"});

    click("bttnRun"); // still gone: the port does not open, silently
    EXPECT_TRUE(idle());
    EXPECT_EQ(notifier.messages.size(), 1u);
}

TEST_F(MonitorWindowFixture, TwoRunsInTheSameSecondContinueTheSameFiles)
{
    open(simLink).setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59)); });
    for (int run = 1; run <= 2; ++run) {
        const int before = lines("List1").size();
        click("bttnRun");
        ASSERT_TRUE(waitLines("List1", before + 20));
        click("Command2");
        ASSERT_TRUE(waitIdle());
    }
    EXPECT_EQ(logFiles(".tgt"), QStringList{"XLT_log_ 05 12 2026 14 03 59.tgt"});
    EXPECT_EQ(fileLines(logPath(".tgt")), lines("List1")); // Run does not empty the lists
    EXPECT_EQ(fileLines(logPath(".xlt")), lines("List2"));
    EXPECT_EQ(lines("List1").count(lines("List1")[0]), 2); // "Packet #0" once per run
}

TEST_F(MonitorWindowFixture, UnreachableLogDirectoryIsReportedOnceAndTheRunGoesOn)
{
    open(simLink);
    session->LogPath = logDir.filePath(QStringLiteral("gone/deeper")).toStdString();
    click("bttnRun");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier.messages.empty(); }, kWaitMs));
    const int listed = lines("List1").size();
    ASSERT_TRUE(waitLines("List1", listed + 50));
    click("Command2");
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].text.find("gone/deeper/XLT_log_ "), std::string::npos);
}

TEST_F(MonitorWindowFixture, LogButtonOpensTheChooserOkStoresCancelDoesNot)
{
    open(fake);
    ASSERT_TRUE(QDir(logDir.path()).mkdir(QStringLiteral("sub")));
    const std::string sub = app::chooserPath(logDir.filePath(QStringLiteral("sub")).toStdString());

    auto answer = [](bool ok, const std::string &openFirst) {
        QTimer::singleShot(0, [=] {
            auto *chooser = qobject_cast<app::frmSetDir *>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            auto *dir = chooser->findChild<QListWidget *>(QStringLiteral("Dir1"));
            for (int i = 0; i < dir->count(); ++i) {
                if (dir->item(i)->data(Qt::UserRole).toString().toStdString() == openFirst)
                    emit dir->itemDoubleClicked(dir->item(i));
            }
            chooser->findChild<QPushButton *>(ok ? "bttnOK" : "bttnCancel")->click();
        });
    };
    answer(false, sub);
    click("bttnLog");
    EXPECT_EQ(session->LogPath, logDir.path().toStdString());
    EXPECT_EQ(child<QLabel>("lblLog")->text(), logDir.path());
    EXPECT_TRUE(store.writes.empty());

    answer(true, sub);
    click("bttnLog");
    EXPECT_EQ(session->LogPath, sub);
    EXPECT_EQ(child<QLabel>("lblLog")->text().toStdString(), sub);
    EXPECT_EQ(store.writes, std::vector<std::string>{"STARTUP/LOGPATH=" + sub});
}

TEST_F(MonitorWindowFixture, ClosingTheWindowDuringARunClosesThePort)
{
    open(simLink);
    click("bttnRun");
    ASSERT_TRUE(waitLines("List1", 10));
    window->close();
    EXPECT_FALSE(simLink.isOpen());
    EXPECT_EQ(device->holder, "");
    EXPECT_FALSE(child<QTimer>("tmrPoll")->isActive());

    reopen();
    click("bttnRun"); // a fresh run on a closed port
    EXPECT_TRUE(simLink.isOpen());
    EXPECT_EQ(simLink.openCount(), 2);
    click("Command2");
    ASSERT_TRUE(waitIdle());
}

TEST_F(MonitorWindowFixture, ClosedAndDeletedWhileAReplyIsListedEndsTheRunSafely)
{
    open(fake);
    // The window is the event loop's now, as it is inside the main window.
    QPointer<monitor::frmMonitor> monitorWindow(window.release());
    monitorWindow->setAttribute(Qt::WA_DeleteOnClose);
    monitorWindow->setEventInterval(std::chrono::milliseconds(0));
    fake.replies = {{link::ReplyOk, {}}, {link::ReplyOk, records(monitor::kTagHostTx, 3)}};
    bool closed = false;
    pump.onPump = [&] {
        if (closed || !monitorWindow)
            return;
        closed = true;
        monitorWindow->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete monitorWindow.data(); // in case the deferred deletion waits for the outer loop
    };
    QTest::mouseClick(monitorWindow->findChild<QPushButton *>(QStringLiteral("bttnRun")),
                      Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, kWaitMs));
    QTest::qWait(100);
    EXPECT_TRUE(monitorWindow.isNull());
    EXPECT_FALSE(fake.isOpen);
    EXPECT_EQ(device->holder, "");
    EXPECT_EQ(fileLines(logPath(".xlt")).size(), 15); // the reply in hand was logged
    EXPECT_EQ(fake.sent.size(), 2u);                  // and nothing was polled after it
}

TEST(TrafficListBox, SelectionFollowsKeysStaysInRangeAndIsScrolledIntoView)
{
    monitor::TrafficListBox list;
    list.resize(300, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    for (int i = 0; i < 1000; ++i)
        list.append(QStringLiteral("line %1").arg(i));
    auto *bar = list.verticalScrollBar();
    const int page = bar->pageStep();

    list.setCurrentRow(5000); // past the end: the last line
    EXPECT_EQ(list.currentRow(), 999);
    EXPECT_EQ(bar->value(), bar->maximum());
    const std::vector<std::pair<Qt::Key, int>> keys = {
        {Qt::Key_Up, 998}, {Qt::Key_PageUp, 998 - page}, {Qt::Key_Home, 0},  {Qt::Key_Up, 0},
        {Qt::Key_Down, 1}, {Qt::Key_PageDown, 1 + page}, {Qt::Key_End, 999}, {Qt::Key_Down, 999},
    };
    for (const auto &[key, row] : keys) {
        QTest::keyClick(&list, key);
        EXPECT_EQ(list.currentRow(), row) << key;
        EXPECT_GE(row, bar->value()) << key; // in view
        EXPECT_LT(row, bar->value() + page) << key;
    }
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_EQ(bar->maximum(), 0);
    list.setCurrentRow(0); // nothing to select
    EXPECT_EQ(list.currentRow(), -1);
}

} // namespace
