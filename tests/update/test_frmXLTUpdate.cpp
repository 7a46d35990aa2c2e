#include "UpdateFixture.h"
#include "sim/DeviceModel.h"
#include "update/ui/frmXLTUpdate.h"

#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

using namespace xlt;

namespace {

struct UpdateWindow : test::UpdateDevice
{
    UpdateWindow()
    {
        window.setFileChooser([this](QWidget *) { return nextChoice; });
    }
    QTemporaryDir dir;
    update::frmXLTUpdate window{context};
    std::optional<QString> nextChoice;
    QPushButton *bttnOpen = window.findChild<QPushButton *>("bttnOpen");
    QPushButton *bttnUpdate = window.findChild<QPushButton *>("bttnUpdate");
    QPlainTextEdit *Picture1 = window.findChild<QPlainTextEdit *>("Picture1");
    QLabel *lblBlk = window.findChild<QLabel *>("lblBlk");
    QLabel *lblPort = window.findChild<QLabel *>("lblPort");
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
    long blocksSent() const
    {
        return std::count_if(link.sent.begin(), link.sent.end(),
                             [](const test::Bytes &c) { return c.at(0) == link::kCmdUpdateBlock; });
    }
};

// The panel always describes the image that Run Update would send.
TEST(UpdateWindow, OpenStepShowsArmsAndDisarms)
{
    UpdateWindow w;
    EXPECT_FALSE(w.bttnUpdate->isEnabled());
    w.identity = "ID003012300071";
    const QString good = w.file("good.dpc", test::makeDpc(40, 0, "PR01 02340005"));
    w.open(good);
    const QString rule(48, '-');
    EXPECT_EQ(w.panel(),
              (QStringList{
                  rule, " File interface version:     PR01", " File firmware version:      02.34",
                  " File mod number:            0005", rule, " Target XLT Interface:   ID00",
                  " Target XLT firmware:    01.23", " Target mod number:      0007", rule}));
    EXPECT_EQ(w.link.sent, std::vector<test::Bytes>{{16}});
    EXPECT_EQ(w.link.openedPort, 5);
    EXPECT_EQ(w.lblPort->text(), "Device: COM5 (/dev/null)");
    EXPECT_TRUE(w.bttnUpdate->isEnabled());
    EXPECT_TRUE(w.Picture1->isReadOnly() && QFontInfo(w.Picture1->font()).fixedPitch());
    // Cancelled, unreadable or empty: nothing changes.
    for (const auto &path : {std::optional<QString>{}, std::optional(w.dir.filePath("missing.dpc")),
                             std::optional(w.file("empty.dpc", {}))}) {
        w.open(path);
        EXPECT_TRUE(w.bttnUpdate->isEnabled());
        EXPECT_EQ(w.panel().size(), 9);
    }
    // Held by another window: the file is shown and armed, the device not asked.
    w.context.holder = "traffic monitor";
    w.open(good);
    w.context.holder.clear();
    EXPECT_EQ(w.panel().size(), 4);
    EXPECT_EQ(w.link.openCalls, 1);
    EXPECT_EQ(w.notifier.messages.size(), 1u); // told why
    w.ports.records.clear();                   // no device from here on: the four file lines only
    auto badMagic = test::makeDpc(3);
    badMagic[1] = 'l';
    // Refused with a message naming the file, or silently when too short for the identity.
    for (const auto &bytes : {badMagic, test::makeDpc(3, 2172)}) {
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

// Through the update, its three-second first-stage pause in particular, the window holds off
// opening, closing and other windows' use of the device.
TEST(UpdateWindow, UpdateHoldsOffOpenCloseAndOtherUsers)
{
    UpdateWindow w;
    w.open(w.file("big.dpc", test::makeDpc(300)));
    int pausesSeen = 0;
    w.pauses.onPause = [&] {
        if (pausesSeen++ > 0)
            return;
        EXPECT_EQ(w.blocksSent(), 256);
        EXPECT_FALSE(w.bttnOpen->isEnabled());
        EXPECT_FALSE(w.bttnUpdate->isEnabled());
        EXPECT_EQ(w.window.cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(w.lblBlk->text().toStdString(), update::kFirstStageText);
        EXPECT_EQ(w.prg1->maximum(), 300);
        EXPECT_EQ(w.prg1->value(), 256);
        EXPECT_FALSE(w.window.close());
        EXPECT_TRUE(link::refuseWhileHeld(w.context));
        EXPECT_EQ(w.notifier.texts(),
                  (std::vector<std::string>{"The firmware update is still running. Wait until it "
                                            "has ended, then close the window.",
                                            "The XLT device is in use by the firmware update. "
                                            "Stop it first, then try again."}));
    };
    w.bttnUpdate->click();
    EXPECT_EQ(pausesSeen, 3);
    EXPECT_FALSE(w.window.updating());
    EXPECT_EQ(w.blocksSent(), 300);
    EXPECT_EQ(w.lblBlk->text(), "Update complete");
    EXPECT_TRUE(w.bttnOpen->isEnabled());
    EXPECT_NE(w.window.cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(w.context.holder.empty());
    EXPECT_TRUE(w.window.close());
}

// The device shown when the file was opened is the only one Run Update flashes. Another one in
// its place (another identity, or the device on another port) is shown instead, with nothing
// sent; the next Run Update flashes the one now shown, and the panel then shows its new
// firmware.
TEST(UpdateWindow, NeverFlashesADeviceItDidNotShow)
{
    using Swap = std::function<void(UpdateWindow &, sim::DeviceModel &)>;
    const std::tuple<const char *, Swap, std::string, std::string> swaps[] = {
        {"another identity",
         [](UpdateWindow &, sim::DeviceModel &model) { model.setIdentity("ID03 04560007"); },
         "COM5 (/dev/null)", " Target XLT firmware:    04.56"},
        {"another port",
         [](UpdateWindow &w, sim::DeviceModel &) {
             w.ports.records = {{"\\Device\\USBSER001", "COM6", "/dev/ttyACM1"}};
         },
         "COM6 (/dev/ttyACM1)", " Target XLT firmware:    01.23"}};
    for (const auto &[name, swap, port, firmware] : swaps) {
        SCOPED_TRACE(name);
        UpdateWindow w;
        sim::DeviceOptions options;
        options.firstStageCopy = std::chrono::milliseconds{0};
        sim::DeviceModel model(options);
        w.link.responder = [&model](const test::Bytes &command) {
            const sim::Response r = model.handle(command, sim::Clock::now());
            return r.kind == sim::Response::Kind::Reply
                       ? test::FakeLink::Reply{r.status, r.data}
                       : test::FakeLink::Reply{link::CommandTimeOut, {}};
        };
        w.open(w.file("fw.dpc", test::makeDpc(300, 0, "PR01 02340005")));
        const update::SeenDevice shown = w.shown();
        swap(w, model);

        w.bttnUpdate->click();
        EXPECT_EQ(w.blocksSent(), 0);
        EXPECT_TRUE(model.updateBlocks().empty());
        const update::SeenDevice found{port, model.identity()};
        EXPECT_EQ(w.notifier.texts(),
                  std::vector<std::string>{update::otherDeviceMessage(shown, found)});
        EXPECT_EQ(w.lblPort->text().toStdString(), "Device: " + port);
        EXPECT_EQ(w.panel().value(6).toStdString(), firmware);
        EXPECT_TRUE(w.bttnUpdate->isEnabled());

        w.bttnUpdate->click();
        EXPECT_EQ(w.blocksSent(), 300);
        EXPECT_EQ(model.updateBlocks().size(), 300u);
        EXPECT_EQ(w.lblBlk->text(), "Update complete");
        EXPECT_EQ(w.notifier.messages.size(), 1u);
        EXPECT_EQ(w.panel().value(6).toStdString(), " Target XLT firmware:    02.34");
        EXPECT_EQ(w.panel().size(), 9);
    }
}

} // namespace
