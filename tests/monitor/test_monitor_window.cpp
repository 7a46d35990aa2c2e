// The monitor window, its list boxes and its log directory chooser, on a line thread of its own as
// in the program.
#include "MonitorTest.h"
#include "monitor/ui/ReplyTimePlot.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmCapture.h"
#include "monitor/ui/frmMonitor.h"
#include "session/DirList.h"
#include "session/Session.h"
#include "session/ui/frmSetDir.h"
#include "support/FakeLink.h"
#include "support/MapStore.h"
#include "support/RecordingNotifier.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <map>

using namespace xlt;
using namespace xlt::montest;

namespace {

/// Three records on each side.
const Bytes kThreeEach = record(0x35, 0, kSspPoll) + record(0x35, 1, kSspPoll) +
                         record(0x35, 2, kSspPoll) + record(0xAA, 3, kStatusRequest) +
                         record(0xCA, 4, kDisabled) + record(0xAA, 5, kStatusRequest);

bool waitFor(const std::function<bool()> &done)
{
    return QTest::qWaitFor(done, 5000);
}

// The chooser's line for `path`, if listed.
QListWidgetItem *entry(QWidget &chooser, const QString &path)
{
    auto *list = chooser.findChild<QListWidget *>("Dir1");
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toString() == path)
            return list->item(i);
    }
    return nullptr;
}

void doubleClick(QWidget &chooser, const QString &path)
{
    auto *list = chooser.findChild<QListWidget *>("Dir1");
    ASSERT_NE(entry(chooser, path), nullptr) << path.toStdString();
    const QPoint at = list->visualItemRect(entry(chooser, path)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

struct Window : ::testing::Test
{
    std::optional<HeldLink> held; ///< outlives the line thread that uses it
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::MapStore store;
    QTemporaryDir logDir;
    std::optional<link::LineWorker> worker;
    std::optional<link::DeviceContext> device;
    std::optional<session::Session> session;
    std::unique_ptr<monitor::frmMonitor> window;

    /// The window over `link`, on a line thread of its own as in the program.
    monitor::frmMonitor &open(link::LinkLibrary &link)
    {
        shut();
        ports.records = {{"\\Device\\USBSERV0", "COM129", "/dev/null"}};
        store.values["STARTUP/LOGPATH"] = logDir.path();
        worker.emplace(linkFactory(link));
        device.emplace(*worker, ports, notifier);
        session.emplace(*device, store, "/program/dir");
        window = std::make_unique<monitor::frmMonitor>(*session);
        window->show();
        return *window;
    }
    /// A fresh device that answers when the test says.
    HeldLink &heldLink()
    {
        shut();
        return held.emplace();
    }
    void shut()
    {
        window.reset();
        session.reset();
        device.reset();
        worker.reset();
    }
    template<typename T = QPushButton> T *child(const char *name) const
    {
        return window->findChild<T *>(name);
    }
    void click(const char *name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    Lines lines(const char *list) const
    {
        Lines out;
        for (int i = 0; i < child<monitor::TrafficListBox>(list)->count(); ++i)
            out.push_back(child<monitor::TrafficListBox>(list)->line(i).toStdString());
        return out;
    }
    bool idle() const { return child("bttnRun")->isEnabled() && child("bttnLog")->isEnabled(); }
    std::optional<Lines> logOf(const char *suffix) const
    {
        const QStringList names = QDir(logDir.path()).entryList({QString("*") + suffix});
        return names.size() == 1 ? logLines(logDir.filePath(names[0])) : std::nullopt;
    }
};

// Stop while idle is forgotten; Stop ends a run after its reply. (Closing the window with a
// request in flight: InFlight.ClosingEachWindowWithARequestInFlight, tests/app.)
TEST_F(Window, RunListsAndLogsBothSidesUntilStopOrClose)
{
    HeldLink &answering = heldLink();
    answering.responder = [](const Bytes &) { return HeldLink::Reply{link::ReplyOk, kThreeEach}; };
    answering.passAll();
    open(answering);
    window->setClock([] { return QDateTime(QDate(2026, 3, 4), QTime(13, 5, 9)); });
    click("Command2");
    click("bttnRun");
    EXPECT_FALSE(child("bttnRun")->isEnabled() || child("bttnLog")->isEnabled());
    EXPECT_EQ(device->holder, "traffic monitor");
    ASSERT_TRUE(waitFor([&] { return lines("List1").size() > 99 && lines("List2").size() > 99; }));
    EXPECT_FALSE(idle());
    EXPECT_NE(window->cursor().shape(), Qt::WaitCursor); // running, not waiting for the start
    click("Command2");
    click("Command2");
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    ASSERT_TRUE(settle(*worker));
    EXPECT_FALSE(held->isOpen());
    EXPECT_EQ(device->holder, "");
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(child<QLabel>("lblTarget")->text() + child<QLabel>("lblHost")->text(), "SSPPR01");
    // Each list starts with the run's mark; the logs have the rest.
    for (const char *list : {"List1", "List2", "List3"})
        EXPECT_EQ(lines(list).front(), "Run started 13:05:09 on COM129") << list;
    const Lines target = lines("List1");
    const Lines host = lines("List2");
    EXPECT_EQ(logOf(".tgt"), Lines(target.begin() + 1, target.end()));
    EXPECT_EQ(logOf(".xlt"), Lines(host.begin() + 1, host.end()));
}

// Alt+letter reaches one button only, whichever tab shows.
TEST_F(Window, EachButtonHasItsOwnMnemonic)
{
    open(heldLink());
    std::map<QChar, QString> seen;
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        const QString text = button->text();
        const qsizetype at = text.indexOf('&');
        if (at < 0 || at + 1 >= text.size())
            continue;
        const auto [it, fresh] = seen.emplace(text[at + 1].toLower(), text);
        EXPECT_TRUE(fresh) << text.toStdString() << " and " << it->second.toStdString();
    }
    EXPECT_GE(seen.size(), 5u);
}

// A failed capture-read: one message, back to idle with Run enabled.
TEST_F(Window, FailedExchangeEndsTheRunWithOneMessage)
{
    HeldLink &slow = heldLink();
    slow.answer();
    slow.answer();
    slow.answer(HeldLink::Reply{link::ReplyOk, kThreeEach});
    slow.answer(HeldLink::Reply{link::PacketError, {}});
    open(slow);
    click("bttnRun");
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    EXPECT_EQ(notifier.texts(), Lines{"XLT Command transmission error PACKET ERROR"});
}

// The message for a log folder that cannot be written stays open as long as the user leaves
// it; meanwhile the run goes on polling and listing.
TEST_F(Window, LogFailureMessageDoesNotHoldUpTheRun)
{
    QTemporaryFile plain;
    ASSERT_TRUE(plain.open());
    HeldLink &slow = heldLink();
    slow.responder = [](const Bytes &) { return HeldLink::Reply{link::ReplyOk, kThreeEach}; };
    slow.passAll();
    open(slow);
    session->LogPath = plain.fileName() + "/logs"; // under a plain file: never a folder
    std::size_t listedWhileOpen = 0;
    notifier.onMessage = [&](const test::RecordingNotifier::Entry &) { // a box open meanwhile
        const std::size_t before = lines("List1").size();
        EXPECT_TRUE(waitFor([&] { return lines("List1").size() >= before + 45; }));
        listedWhileOpen = lines("List1").size() - before;
    };
    click("bttnRun");
    ASSERT_TRUE(waitFor([&] { return listedWhileOpen > 0; }));
    click("Command2");
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    EXPECT_GE(listedWhileOpen, 45u); // three replies or more
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].text.find(plain.fileName().toStdString() + "/logs"),
              std::string::npos);
    shut();
}

// The folder is stored as it is named, outside Latin-1 too.
TEST_F(Window, LogButtonOpensTheChooserOkStoresCancelDoesNot)
{
    open(heldLink());
    const QString sub =
        session::chooserPath(logDir.filePath(QString::fromUtf8("\u0416\u0443\u0440")));
    ASSERT_TRUE(QDir().mkdir(sub));
    EXPECT_EQ(child<QLabel>("lblLog")->text(), logDir.path());
    for (const bool ok : {false, true}) {
        QTimer::singleShot(0, [=] {
            QWidget *chooser = QApplication::activeModalWidget();
            ASSERT_TRUE(qobject_cast<session::frmSetDir *>(chooser));
            doubleClick(*chooser, sub);
            chooser->findChild<QPushButton *>(ok ? "bttnOK" : "bttnCancel")->click();
        });
        click("bttnLog");
        const QString expected = ok ? sub : logDir.path();
        EXPECT_EQ(session->LogPath, expected);
        EXPECT_EQ(child<QLabel>("lblLog")->text(), expected);
        EXPECT_EQ(store.values["STARTUP/LOGPATH"], expected);
    }
}

// An unreachable stored directory opens at the current one. The list has the focus; Enter
// opens a line, not OK; a directory removed after it was listed is not opened. Directories
// named outside Latin-1 list and open.
TEST_F(Window, ChooserOpensWhereItCanAndBrowses)
{
    open(heldLink());
    for (const QString &stored : {logDir.path() + "/gone", QString("Q:\\Logs")}) {
        session->LogPath = stored;
        EXPECT_EQ(session::frmSetDir(*session).currentDir(), session::chooserPath("."))
            << stored.toStdString();
    }
    EXPECT_TRUE(notifier.messages.empty());

    const QString logs = session::chooserPath(logDir.filePath(QString::fromUtf8("logs \u20ac")));
    const QString journal = logs + QString::fromUtf8("/\u0416\u0443\u0440\u043d\u0430\u043b");
    ASSERT_TRUE(QDir().mkpath(journal) && QDir(logs).mkdir("old"));
    session->LogPath = logs;
    session::frmSetDir dialog(*session);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto *dir = dialog.findChild<QListWidget *>("Dir1");
    EXPECT_EQ(dialog.focusWidget(), dir);
    dir->setCurrentItem(entry(dialog, journal));
    EXPECT_EQ(dialog.currentDir(), logs);
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.currentDir(), journal);

    doubleClick(dialog, logs); // an ancestor: back up
    ASSERT_TRUE(QDir(logs + "/old").removeRecursively());
    doubleClick(dialog, logs + "/old");
    EXPECT_EQ(dialog.currentDir(), logs);
    EXPECT_EQ(entry(dialog, logs + "/old"), nullptr);
}

// Past the end is the last line; the keys keep the selection in the list and in view.
TEST(TrafficListBox, KeysMoveTheSelectionWithinTheListAndKeepItInView)
{
    monitor::TrafficListBox list;
    list.resize(300, 200);
    list.show();
    for (int i = 0; i < 1000; ++i)
        list.append(QString::number(i));
    const int page = list.verticalScrollBar()->pageStep();
    list.setCurrentRow(5000);
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Up, 998}, {Qt::Key_PageUp, 998 - page}, {Qt::Key_Home, 0},  {Qt::Key_Up, 0},
        {Qt::Key_Down, 1}, {Qt::Key_PageDown, 1 + page}, {Qt::Key_End, 999}, {Qt::Key_Down, 999},
    };
    for (const auto &[key, row] : keys) {
        QTest::keyClick(&list, key);
        const int top = list.verticalScrollBar()->value();
        EXPECT_TRUE(list.currentRow() == row && row >= top && row < top + page)
            << key << " " << row;
    }
    list.clear();
    list.setCurrentRow(0); // nothing to select
    EXPECT_EQ(list.currentRow(), -1);
}

// A drive is the longest root that holds the path, not one the path merely starts like.
TEST(DirList, ChooserPathAndDriveOfAPath)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the cases are written with '/' roots";
#endif
    EXPECT_EQ(session::chooserPath("//tmp/./logs/old/../"), "/tmp/logs");
    EXPECT_EQ(session::chooserPath("/"), "/");
    EXPECT_EQ(session::chooserPath("logs"), QDir::currentPath() + "/logs");
    EXPECT_EQ(session::chooserPath(""), "");
    const std::vector<QString> letters = {"C:/", "D:/"};
    const std::vector<QString> roots = {"/", "/media/stick"};
    EXPECT_EQ(session::driveIndexOf(letters, "D:"), 1);
    EXPECT_EQ(session::driveIndexOf(letters, "E:/Logs"), -1);
    EXPECT_EQ(session::driveIndexOf(roots, "/media/stick/logs"), 1);
    EXPECT_EQ(session::driveIndexOf(roots, "/media/sticky/logs"), 0);
}

// Analysis in the window: Follow, the filters, copying, the CRC marks, the reply times and the
// timeline. Replies come from the test's line, so the records and their times are known.

/// `count` SSP poll / OK pairs on the target side, 200 ms apart, each answered after 7 ms.
Bytes targetPairs(int count, std::uint32_t from = 0)
{
    Bytes out;
    for (int k = 0; k < count; ++k) {
        const std::uint32_t at = from + 200u * static_cast<std::uint32_t>(k);
        out = out + record(0x35, at, kSspPoll) + record(0x55, at + 7, kSspOk);
    }
    return out;
}

struct Analysis : Window
{
    /// Opens the window, starts a run and lists `replies` one poll each. The run's start mark
    /// is cleared away, so that rows count from the run's first record.
    void runWith(const std::vector<Bytes> &replies)
    {
        open(heldLink());
        held->answer(); // the identity
        held->answer(); // the capture start
        click("bttnRun");
        ASSERT_TRUE(waitFor([&] { return list("List3").count() == 1; }));
        for (const char *button : {"bttnClear", "bttnClearHost", "bttnClearTimeline"})
            click(button);
        for (const Bytes &reply : replies)
            poll(reply);
    }
    /// Answers the poll in flight with `reply` and waits until it is listed.
    void poll(const Bytes &reply)
    {
        ASSERT_TRUE(waitFor([&] { return held->held() == "command 1"; }));
        const std::size_t sent = held->sent().size();
        held->answer(HeldLink::Reply{link::ReplyOk, reply});
        // The next poll is sent after the reply was handed to the window.
        ASSERT_TRUE(waitFor([&] { return held->sent().size() > sent; }));
        QCoreApplication::processEvents();
    }
    monitor::TrafficListBox &list(const char *name) const
    {
        return *child<monitor::TrafficListBox>(name);
    }
    Lines shown(const char *name) const
    {
        Lines out;
        for (int row = 0; row < list(name).rowCount(); ++row)
            out.push_back(list(name).rowText(row).toStdString());
        return out;
    }
    void clickRow(const char *name, int row, Qt::KeyboardModifiers modifiers = {})
    {
        monitor::TrafficListBox &box = list(name);
        const int height = box.fontMetrics().height() + 2;
        const int y = (row - box.verticalScrollBar()->value()) * height + height / 2;
        QTest::mouseClick(box.viewport(), Qt::LeftButton, modifiers, QPoint(20, y));
    }
};

} // namespace

// Follow off (by a click, by scrolling up): the scroll position and the selection stay while
// a run adds lines; ticking it again selects the newest line.
TEST_F(Analysis, FollowOffKeepsTheListWhereItIs)
{
    runWith({targetPairs(10)}); // 100 lines: more than the list shows
    monitor::TrafficListBox &box = list("List1");
    auto *follow = child<QCheckBox>("chkFollow");
    EXPECT_TRUE(follow->isChecked());
    EXPECT_EQ(box.currentRow(), 99);
    const int bottom = box.verticalScrollBar()->value();
    ASSERT_GT(bottom, 10);

    box.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_FALSE(follow->isChecked());
    const int top = box.verticalScrollBar()->value();
    clickRow("List1", top + 2);
    poll(targetPairs(10, 2000));
    EXPECT_EQ(box.count(), 200);
    EXPECT_EQ(box.currentRow(), top + 2);
    EXPECT_EQ(box.verticalScrollBar()->value(), top);
    EXPECT_EQ(box.selectedLines().size(), 1);

    follow->setChecked(true);
    EXPECT_EQ(box.currentRow(), 199);
    EXPECT_EQ(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());
    poll(targetPairs(1, 4000));
    EXPECT_EQ(box.currentRow(), 209);

    clickRow("List1", box.verticalScrollBar()->value()); // a click turns it off as well
    EXPECT_FALSE(follow->isChecked());
}

// A filter shows the records with a matching line, records listed later included; clearing it
// shows every line again.
TEST_F(Analysis, FilterShowsMatchingRecordsOnly)
{
    const Bytes hostReply = record(0xAA, 1, kStatusRequest) + record(0xCA, 3, kDisabled);
    runWith({targetPairs(2) + hostReply});
    child<QLineEdit>("txtFilterHost")->setText("disabled");
    child<QLineEdit>("txtFilterTarget")->setText("7F 80 01 07");
    const Lines host = lines("List2");
    EXPECT_EQ(shown("List2"), Lines(host.begin() + 5, host.end()));
    EXPECT_EQ(list("List1").rowCount(), 10);

    poll(targetPairs(1, 1000) + hostReply);
    EXPECT_EQ(list("List1").rowCount(), 15);
    EXPECT_EQ(list("List2").rowCount(), 10);
    child<QLineEdit>("txtFilterTimeline")->setText("Host Packet");
    EXPECT_EQ(list("List3").rowCount(), 20);
    child<QLineEdit>("txtFilterHost")->clear();
    EXPECT_EQ(shown("List2"), lines("List2"));
}

// Ctrl+C copies the selected lines, "Copy packet" the whole record, and export writes the
// selected records (or, with none selected, the shown ones) with CR LF like the logs.
TEST_F(Analysis, CopyAndExport)
{
    runWith({targetPairs(2)});
    child<QCheckBox>("chkFollow")->setChecked(false);
    monitor::TrafficListBox &box = list("List1");
    box.setCurrentRow(0);
    clickRow("List1", 2, Qt::ShiftModifier);
    clickRow("List1", 8, Qt::ControlModifier);
    QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
    const Lines all = lines("List1");
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              all[0] + "\n" + all[1] + "\n" + all[2] + "\n" + all[8]);
    box.copyPacket(7);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              all[5] + "\n" + all[6] + "\n" + all[7] + "\n" + all[8] + "\n" + all[9]);

    const QString file = logDir.filePath("export.txt");
    const auto exported = [&] {
        EXPECT_EQ(monitor::frmMonitor::exportList(box, file), "");
        QFile in(file);
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        return in.readAll().toStdString();
    };
    std::string firstTwo;
    for (int k = 0; k < 10; ++k)
        firstTwo += all[static_cast<std::size_t>(k)] + "\r\n";
    EXPECT_EQ(exported(), firstTwo); // rows of records 0 and 1 are selected
    child<QLineEdit>("txtFilterTarget")->setText("GENERIC RSP");
    box.clearSelection();
    const std::string replies = exported();
    EXPECT_EQ(std::count(replies.begin(), replies.end(), '\n'), 10);
    EXPECT_TRUE(monitor::frmMonitor::exportList(box, logDir.filePath("none/x.txt"))
                    .startsWith("The records could not be written to "));
}

// Each record is marked when its CRC fails, with the failure and its reply time in its tooltip;
// the figures under each list add up the run so far; the timeline takes both sides in time
// order. Each Clear button empties its own list only.
TEST_F(Analysis, MarksFiguresTimelineAndClear)
{
    const Bytes badDisabled = bytesOf("FC 05 1A F4 E9");
    runWith({record(0x35, 100, kSspPoll) + record(0x55, 107, kSspOk) +
                 record(0xAA, 90, kStatusRequest) + record(0xCA, 104, badDisabled),
             record(0x35, 300, kSspPoll) + record(0x55, 312, kSspOk)});
    EXPECT_EQ(child<QLabel>("lblTargetStatus")->text(),
              "Records: 4  CRC failures: 0  Replies: 2, mean 9.5 ms, worst 12 ms");
    EXPECT_EQ(child<QLabel>("lblHostStatus")->text(),
              "Records: 2  CRC failures: 1  Replies: 1, mean 14.0 ms, worst 14 ms");
    // A status line wraps rather than being cut off, and its tooltip has it whole.
    EXPECT_TRUE(child<QLabel>("lblHostStatus")->wordWrap());
    EXPECT_EQ(child<QLabel>("lblHostStatus")->toolTip(), child<QLabel>("lblHostStatus")->text());
    EXPECT_EQ(list("List1").rowToolTip(0), "");
    EXPECT_EQ(list("List1").rowToolTip(7), "Reply 7 ms after its request");
    EXPECT_FALSE(list("List1").rowMarked(7));
    EXPECT_EQ(list("List2").rowToolTip(7), "CRC check failed\nReply 14 ms after its request");
    EXPECT_TRUE(list("List2").rowMarked(7));
    EXPECT_FALSE(list("List2").rowMarked(2));

    const Lines timeline = lines("List3");
    ASSERT_EQ(timeline.size(), 30u);
    Lines heads;
    for (std::size_t k = 0; k < 20; k += 5)
        heads.push_back(timeline[k].substr(0, timeline[k].find(" -")) + " " + timeline[k + 1]);
    EXPECT_EQ(heads, (Lines{"Host Packet #0 Packet time offset: 90ms",
                            "Target Packet #0 Packet time offset: 100ms",
                            "Host Packet #1 Packet time offset: 104ms",
                            "Target Packet #1 Packet time offset: 107ms"}));
    EXPECT_EQ(timeline[12], lines("List2")[7]);

    click("bttnClearHost");
    EXPECT_TRUE(lines("List2").empty());
    EXPECT_EQ(lines("List1").size(), 20u);
    click("bttnClear");
    click("bttnClearTimeline");
    EXPECT_TRUE(lines("List1").empty() && lines("List3").empty());
}

// The count beside a filter box, F3 and Shift+F3 over the shown records (from the filter box),
// a term that is not understood, and a click on a point of the reply-time plot.
TEST_F(Analysis, CountNextMatchAndPlotClick)
{
    runWith({targetPairs(3)}); // six records, three replies 7 ms after their requests
    auto *filter = child<QLineEdit>("txtFilterTarget");
    filter->setText("dir=rx");
    EXPECT_EQ(child<QLabel>("lblCountTarget")->text(), "3 of 6 records");
    monitor::TrafficListBox &box = list("List1");
    window->activateWindow();
    filter->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // From the newest row: back to each record's first row, then forward; no wrapping.
    const std::pair<Qt::KeyboardModifiers, int> steps[] = {
        {Qt::ShiftModifier, 5}, {Qt::ShiftModifier, 0}, {Qt::ShiftModifier, 0},
        {Qt::NoModifier, 5},    {Qt::NoModifier, 10},   {Qt::NoModifier, 10}};
    for (const auto &[modifiers, row] : steps) {
        QTest::keyClick(filter, Qt::Key_F3, modifiers);
        EXPECT_EQ(box.currentRow(), row);
    }
    EXPECT_FALSE(child<QCheckBox>("chkFollow")->isChecked());
    const QColor base = filter->palette().color(QPalette::Base);
    filter->setText("dir=rx reply>abc");
    EXPECT_EQ(child<QLabel>("lblCountTarget")->text(), "3 of 6 records");
    EXPECT_TRUE(filter->toolTip().contains("left out: reply>abc"));
    EXPECT_NE(filter->palette().color(QPalette::Base), base);
    filter->setText("reply>7");
    EXPECT_EQ(child<QLabel>("lblCountTarget")->text(), "0 of 6 records");
    EXPECT_EQ(filter->palette().color(QPalette::Base), base);

    child<QTabWidget>("tabTraffic")->setCurrentIndex(1);
    auto *plot = child<monitor::ReplyTimePlot>("pltReplies");
    QScatterSeries *target = plot->series(monitor::PlotSeries::Target);
    ASSERT_EQ(target->count(), 3);
    QCoreApplication::processEvents();
    const QPointF at = plot->chart()->mapToPosition(target->at(1), target);
    QTest::mouseClick(plot->viewport(), Qt::LeftButton, {}, plot->mapFromScene(at));
    const monitor::TrafficListBox &timeline = list("List3");
    EXPECT_EQ(timeline.rowText(timeline.currentRow()).toStdString(), "Target Packet #3" + kRule);
}

// A run's capture opened in the analysis view lists what the run listed, with the same marks,
// counts and figures; the view reads the file as it is at that moment. A file that is not a
// capture is refused with the reader's reason; a cut last line is shown as ignored.
TEST_F(Analysis, CaptureOfARunOpensAsTheRunListedIt)
{
    const Bytes badDisabled = bytesOf("FC 05 1A F4 E9");
    runWith(
        {targetPairs(3) + record(0xAA, 90, kStatusRequest) + record(0xCA, 104, badDisabled),
         record(0xAA, 700, kStatusRequest) + record(0xCA, 702, kDisabled) + targetPairs(2, 650)});
    click("bttnOpenRun"); // while the run goes on
    auto *view = window->findChild<monitor::frmCapture *>();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitFor([&] { return view->complete(); }));
    const auto viewList = [&](const char *name) {
        return view->findChild<monitor::TrafficListBox *>(name);
    };
    for (const char *name : {"List1", "List2", "List3"}) {
        Lines captured;
        for (int i = 0; i < viewList(name)->count(); ++i)
            captured.push_back(viewList(name)->line(i).toStdString());
        EXPECT_EQ(captured, lines(name)) << name;
        for (int row = 0; row < list(name).rowCount(); ++row)
            EXPECT_EQ(viewList(name)->rowToolTip(row), list(name).rowToolTip(row)) << row;
    }
    const char *filters[] = {"crc=bad", "poll", "dir=rx reply>6", "Host !status"};
    for (const char *text : filters) {
        for (const char *box : {"txtFilterTarget", "txtFilterHost", "txtFilterTimeline"}) {
            child<QLineEdit>(box)->setText(text);
            view->findChild<QLineEdit *>(box)->setText(text);
        }
        for (const char *count : {"lblCountTarget", "lblCountHost", "lblCountTimeline"})
            EXPECT_EQ(view->findChild<QLabel *>(count)->text(), child<QLabel>(count)->text())
                << text << " " << count;
        for (const char *name : {"List1", "List2", "List3"})
            EXPECT_EQ(viewList(name)->rowCount(), list(name).rowCount()) << text << " " << name;
    }
    for (const char *status : {"lblTargetStatus", "lblHostStatus"})
        EXPECT_EQ(view->findChild<QLabel *>(status)->text(), child<QLabel>(status)->text());
    EXPECT_TRUE(view->findChild<QLabel *>("lblHeader")->text().endsWith("\n14 records"));
    EXPECT_TRUE(notifier.messages.empty());

    // Past the first screen's replies the rest follows; the lists keep the rows shown.
    QTemporaryFile cut(logDir.filePath("XXXXXX.xltcap"));
    ASSERT_TRUE(cut.open());
    cut.write("# XLT capture 1\n" +
              QByteArray("35 00 00 00 00 06 7F 80 01 07 12 02\n").repeated(1001) + "35 00 00");
    cut.close();
    QMimeData dropped; // a file dropped on the monitor window
    dropped.setUrls({QUrl::fromLocalFile(cut.fileName())});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &drop);
    view = nullptr;
    for (monitor::frmCapture *each : window->findChildren<monitor::frmCapture *>())
        view = each->path() == cut.fileName() ? each : view;
    ASSERT_NE(view, nullptr);
    std::vector<bool> listed;
    QObject::connect(view, &monitor::frmCapture::listed, [&](bool whole) {
        listed.push_back(whole);
        if (!whole)
            view->findChild<monitor::TrafficListBox *>("List1")->setCurrentRow(7);
    });
    ASSERT_TRUE(waitFor([&] { return view->complete(); }));
    EXPECT_EQ(listed, (std::vector<bool>{false, true}));
    EXPECT_TRUE(view->findChild<QLabel *>("lblHeader")
                    ->text()
                    .endsWith("\n1001 records, 1 cut line ignored"));
    EXPECT_EQ(view->findChild<monitor::TrafficListBox *>("List1")->count(), 5005);
    EXPECT_EQ(view->findChild<monitor::TrafficListBox *>("List1")->currentRow(), 7);

    const QString log = logDir.filePath(QDir(logDir.path()).entryList({"*.tgt"}).value(0));
    QPointer<monitor::frmCapture> refused = window->openCapture(log);
    ASSERT_TRUE(waitFor([&] { return refused.isNull(); }));
    EXPECT_EQ(notifier.texts(), Lines{"The capture file " + log.toStdString() +
                                      " could not be opened: not a capture file: it does not "
                                      "start with '# XLT capture'"});
}
