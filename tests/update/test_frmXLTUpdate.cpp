#include "UpdateFixture.h"
#include "app/Session.h"
#include "app/ui/QtEventPump.h"
#include "update/ui/frmXLTUpdate.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

using namespace xlt;

namespace {

class NullStore final : public app::SettingsStore
{
public:
    std::string read(const std::string &, const std::string &, const std::string &f) override
    {
        return f;
    }
    void write(const std::string &, const std::string &, const std::string &) override {}
};

struct UpdateWindow : test::DeviceFixture
{
    NullStore store;
    app::Session session{device, store, "/tmp"};
    QTemporaryDir dir;
    update::frmXLTUpdate window{session};
    std::optional<QString> nextChoice;

    QPushButton *bttnOpen = window.findChild<QPushButton *>(QStringLiteral("bttnOpen"));
    QPushButton *bttnUpdate = window.findChild<QPushButton *>(QStringLiteral("bttnUpdate"));
    QPlainTextEdit *Picture1 = window.findChild<QPlainTextEdit *>(QStringLiteral("Picture1"));
    QLabel *lblBlk = window.findChild<QLabel *>(QStringLiteral("lblBlk"));
    QProgressBar *prg1 = window.findChild<QProgressBar *>(QStringLiteral("prg1"));

    UpdateWindow()
    {
        window.setFileChooser([this](QWidget *) { return nextChoice; });
    }

    QString write(const char *name, const std::vector<std::uint8_t> &bytes)
    {
        const QString path = dir.filePath(QLatin1String(name));
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    void open(const std::optional<QString> &path)
    {
        nextChoice = path;
        bttnOpen->click();
    }

    int panelLines() const
    {
        return Picture1->toPlainText().isEmpty() ? 0 : Picture1->blockCount();
    }
};

TEST_F(UpdateWindow, StartsWithNothingToSend)
{
    ASSERT_TRUE(bttnOpen && bttnUpdate && Picture1 && lblBlk && prg1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Update XLT OS"));
    EXPECT_EQ(bttnOpen->text(), QStringLiteral("Open XLT OS &File"));
    EXPECT_EQ(bttnUpdate->text(), QStringLiteral("Run &Update"));
    EXPECT_TRUE(bttnOpen->isEnabled());
    EXPECT_FALSE(bttnUpdate->isEnabled());
    EXPECT_TRUE(lblBlk->text().isEmpty());
    EXPECT_EQ(prg1->value(), 0);
    EXPECT_TRUE(Picture1->isReadOnly());
}

TEST_F(UpdateWindow, OpenStepArmsAndDisarmsTheUpdate)
{
    const QString good = write("good.dpc", test::makeDpc(3));
    auto badBytes = test::makeDpc(3);
    badBytes[1] = 'l';
    const QString bad = write("bad.dpc", badBytes);
    ports.records.clear(); // no device: the panel holds the four file lines

    open(good);
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_EQ(Picture1->toPlainText().split(QLatin1Char('\n')).value(1),
              QStringLiteral(" File interface version:     PR01"));

    open(std::nullopt); // cancelled: nothing changes
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_EQ(panelLines(), 4);

    open(dir.filePath(QStringLiteral("missing.dpc"))); // unreadable: nothing changes
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_EQ(panelLines(), 4);

    open(bad); // refused: the earlier image is dropped with its lines
    EXPECT_FALSE(bttnUpdate->isEnabled());
    EXPECT_EQ(panelLines(), 0);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{bad.toStdString() + " is not a valid XLT OS Update file"});
    bttnUpdate->click();
    EXPECT_TRUE(link.sent.empty());

    open(good); // a second accepted file replaces the panel
    open(good);
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_EQ(panelLines(), 4);
}

TEST_F(UpdateWindow, UpdateHoldsOffOpenCloseAndOtherUsers)
{
    open(write("big.dpc", test::makeDpc(300)));
    link.sent.clear();
    bool checked = false;
    pump.onPump = [&] {
        if (link.sent.size() != 256 || checked)
            return;
        checked = true;
        EXPECT_FALSE(bttnOpen->isEnabled());
        EXPECT_FALSE(bttnUpdate->isEnabled());
        EXPECT_TRUE(window.updating());
        EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(lblBlk->text(), QStringLiteral("Updating XLT - Block 257 of 300"));
        EXPECT_EQ(prg1->maximum(), 300);
        EXPECT_EQ(prg1->value(), 257);
        EXPECT_FALSE(window.close());
        EXPECT_EQ(notifier.messages.size(), 1u);
        EXPECT_TRUE(link::refuseWhileHeld(device));
        EXPECT_NE(notifier.messages.back().text.find("firmware update"), std::string::npos);
    };
    bttnUpdate->click();
    EXPECT_TRUE(checked);
    EXPECT_EQ(link.sent.size(), 300u);
    EXPECT_EQ(lblBlk->text(), QStringLiteral("Update complete"));
    EXPECT_EQ(prg1->value(), 0);
    EXPECT_TRUE(bttnOpen->isEnabled());
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_NE(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(device.holder.empty());
    EXPECT_TRUE(window.close());
}

TEST_F(UpdateWindow, RefusedFirstBlockEmptiesLabelAndBar)
{
    open(write("a.dpc", test::makeDpc(10)));
    link.sent.clear();
    link.replies.push_back({link::CommandTimeOut, {}});
    bttnUpdate->click();
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_TRUE(lblBlk->text().isEmpty());
    EXPECT_EQ(prg1->value(), 0);
    EXPECT_TRUE(bttnUpdate->isEnabled());
    EXPECT_NE(window.cursor().shape(), Qt::WaitCursor);
}

TEST(UpdateWindowEvents, TimersRunDuringTheFirstStagePause)
{
    test::FakeLink link;
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}};
    test::RecordingNotifier notifier;
    app::QtEventPump pump;
    link::DeviceContext device(link, ports, notifier, pump);
    NullStore store;
    app::Session session(device, store, "/tmp");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.dpc"));
    const auto bytes = test::makeDpc(256);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    update::frmXLTUpdate window(session);
    window.setFileChooser([&](QWidget *) { return path; });
    window.findChild<QPushButton *>(QStringLiteral("bttnOpen"))->click();

    // Once the last block is sent, only the pause is left; a timer must still fire in it.
    int ticksInPause = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (window.updating() && link.sent.size() == 257)
            ++ticksInPause;
    });
    timer.start(100);
    window.findChild<QPushButton *>(QStringLiteral("bttnUpdate"))->click();
    EXPECT_GE(ticksInPause, 10);
    EXPECT_EQ(window.findChild<QLabel *>(QStringLiteral("lblBlk"))->text(),
              QStringLiteral("Update complete"));
}

TEST(UpdateDialog, TitleAndFilterAreExact)
{
    QString title;
    QStringList filters;
    QString name;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        name = dialog->objectName();
        dialog->reject();
    });
    EXPECT_FALSE(update::frmXLTUpdate::chooseWithDialog(nullptr));
    EXPECT_EQ(title, QStringLiteral("Open Update file"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("XLT OS Update file *.dpc (*.dpc)")});
    EXPECT_EQ(name, QStringLiteral("cmnDlg1"));
}

} // namespace
