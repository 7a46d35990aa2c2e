#include "UpdateFixture.h"
#include "core/QtScheduler.h"
#include "update/ui/frmXLTUpdate.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace xlt;

namespace {

struct UpdateWindow : test::FakeDevice
{
    explicit UpdateWindow(core::Scheduler *timers = nullptr)
        : FakeDevice(nullptr, timers)
    {
        window.setFileChooser([this](QWidget *) { return nextChoice; });
    }
    QTemporaryDir dir;
    update::frmXLTUpdate window{device};
    std::optional<QString> nextChoice;
    QPushButton *bttnOpen = window.findChild<QPushButton *>("bttnOpen");
    QPushButton *bttnUpdate = window.findChild<QPushButton *>("bttnUpdate");
    QPlainTextEdit *Picture1 = window.findChild<QPlainTextEdit *>("Picture1");
    QLabel *lblBlk = window.findChild<QLabel *>("lblBlk");
    QProgressBar *prg1 = window.findChild<QProgressBar *>("prg1");

    QString file(const char *name, const test::Bytes &bytes)
    {
        return test::writeFile(dir.filePath(name), bytes);
    }
    void open(const std::optional<QString> &path)
    {
        nextChoice = path;
        bttnOpen->click();
    }
    QStringList panel() const { return Picture1->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

// The panel always describes the image that Run Update would send.
TEST(UpdateWindow, OpenStepShowsArmsAndDisarms)
{
    UpdateWindow w;
    EXPECT_FALSE(w.bttnUpdate->isEnabled());
    const std::string reply = "ID003012300071";
    w.link.replies.push_back({link::ReplyOk, {reply.begin(), reply.end()}});
    const QString good = w.file("good.dpc", test::makeDpc(40, 0, "PR01 02340005"));
    w.open(good);
    const QString rule(48, '-');
    EXPECT_EQ(w.panel(),
              (QStringList{
                  rule, " File interface version:     PR01", " File firmware version:      02.34",
                  " File mod number:            0005", rule, " Target XLT Interface:   ID00",
                  " Target XLT firmware:    01.23", " Target mod number:      0007", rule}));
    EXPECT_EQ(w.link.sent, std::vector<test::Bytes>{{16}});
    EXPECT_EQ(w.device.XLTPortNumber, 5);
    EXPECT_EQ(w.window.findChild<QLabel *>("lblPort")->text(), "Device: COM5 (/dev/null)");
    EXPECT_EQ(w.device.CmdPacket.BaudRate, 9600u);
    EXPECT_EQ(w.device.CmdPacket.Timeout, 3000u);
    EXPECT_TRUE(w.bttnUpdate->isEnabled());
    // Cancelled, unreadable or empty: nothing changes.
    for (const auto &path : {std::optional<QString>{}, std::optional(w.dir.filePath("missing.dpc")),
                             std::optional(w.dir.path()), std::optional(w.file("empty.dpc", {}))}) {
        w.open(path);
        EXPECT_TRUE(w.bttnUpdate->isEnabled());
        EXPECT_EQ(w.panel().size(), 9);
    }
    // Held by another window: the file is shown and armed, the device not asked.
    w.device.holder = "traffic monitor";
    w.open(good);
    w.device.holder.clear();
    EXPECT_EQ(w.panel().size(), 4);
    EXPECT_EQ(w.link.openCalls, 1);
    EXPECT_EQ(w.notifier.messages.size(), 1u); // told why
    w.ports.records.clear();                   // no device from here on: the four file lines only
    auto badMagic = test::makeDpc(3);
    badMagic[1] = 'l';
    // Refused with a message naming the file, or silently when too short for the identity.
    for (const auto &bytes : {badMagic, test::makeDpc(0, 3000), test::makeDpc(32769, 3000),
                              test::makeDpc(100, 5000), test::makeDpc(3, 2172)}) {
        w.notifier.messages.clear();
        const QString path = w.file("refused.dpc", bytes);
        w.open(path);
        EXPECT_FALSE(w.bttnUpdate->isEnabled());
        EXPECT_TRUE(w.panel().empty());
        EXPECT_EQ(w.notifier.messages.size(), bytes.size() == 2172 ? 0u : 1u);
        for (const auto &m : w.notifier.messages)
            EXPECT_TRUE(
                m.text.starts_with(path.toStdString() + " is not a valid XLT OS Update file"));
        w.open(good);
        EXPECT_EQ(w.panel().size(), 4);
        EXPECT_TRUE(w.bttnUpdate->isEnabled());
    }
}

// The window stays live through the update, its three-second first-stage pause in particular,
// but holds off opening, closing and other windows' use of the device.
TEST(UpdateWindow, UpdateHoldsOffOpenCloseAndOtherUsers)
{
    core::QtScheduler timers;
    UpdateWindow w(&timers);
    w.open(w.file("big.dpc", test::makeDpc(300)));
    w.link.sent.clear();
    int ticksInPause = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (w.link.sent.size() != 256 || ticksInPause++ > 0)
            return;
        EXPECT_FALSE(w.bttnOpen->isEnabled());
        EXPECT_FALSE(w.bttnUpdate->isEnabled());
        EXPECT_EQ(w.window.cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(w.lblBlk->text().toStdString(), update::kFirstStageText);
        EXPECT_EQ(w.prg1->maximum(), 300);
        EXPECT_EQ(w.prg1->value(), 256);
        EXPECT_FALSE(w.window.close());
        EXPECT_TRUE(link::refuseWhileHeld(w.device));
        EXPECT_EQ(w.notifier.texts(),
                  (std::vector<std::string>{"The firmware update is still running. Wait until it "
                                            "has ended, then close the window.",
                                            "The XLT device is in use by the firmware update. "
                                            "Stop it first, then try again."}));
    });
    timer.start(100);
    w.bttnUpdate->click(); // returns at the pause: the rest comes from the event loop
    EXPECT_TRUE(w.window.updating());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.window.updating(); }, 10000));
    EXPECT_GE(ticksInPause, 10);
    EXPECT_EQ(w.link.sent.size(), 300u);
    EXPECT_EQ(w.lblBlk->text(), "Update complete");
    EXPECT_TRUE(w.bttnOpen->isEnabled());
    EXPECT_TRUE(w.device.holder.empty());
    EXPECT_TRUE(w.window.close());

    // A second run whose first block is refused empties label and bar and stays ready.
    w.link.replies.push_back({link::CommandTimeOut, {}});
    w.bttnUpdate->click();
    EXPECT_EQ(w.link.sent.size(), 301u);
    EXPECT_TRUE(w.lblBlk->text().isEmpty());
    EXPECT_EQ(w.prg1->value(), 0);
    EXPECT_TRUE(w.bttnUpdate->isEnabled());
    EXPECT_NE(w.window.cursor().shape(), Qt::WaitCursor);
}

} // namespace
