#include "link/DeviceContext.h"
#include "options/ui/frmOptions.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace xlt;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using Reply = test::FakeLink::Reply;

namespace {

/// The device on COM4 answers identity (16), configuration read (17) and write (18).
struct OptionsWindow
{
    explicit OptionsWindow(int hostDrive = 0)
    {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(i * 5 + 3); // every byte differs
        block[112] = std::uint8_t(hostDrive);
        ports.records = {{"\\Device\\USBSER000", "COM4", "/dev/null"}};
        link.responder = [this](const Bytes &c) {
            return c.at(0) == 16 ? identity : c[0] == 17 ? Reply{link::ReplyOk, block} : writeReply;
        };
    }
    void open()
    {
        window = std::make_unique<options::frmOptions>(device);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    auto *op(int i) { return window->findChild<QRadioButton *>(i ? "opLevel_1" : "opLevel_0"); }
    auto *bttnSet() { return window->findChild<QPushButton *>("bttnSet"); }
    QString panel() { return window->findChild<QPlainTextEdit *>("Picture1")->toPlainText(); }

    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::ImmediateScheduler scheduler;
    link::DeviceContext device{link, ports, notifier, scheduler};
    Bytes block = Bytes(128);
    Reply identity{link::ReplyOk,
                   {'P', 'R', '0', '1', ' ', '0', '1', '2', '3', '0', '0', '0', '9'}};
    Reply writeReply;
    std::unique_ptr<options::frmOptions> window;
};

// The option comes from the block even when the identity cannot be read.
TEST(OptionsWindow, OpeningShowsIdentityAndCurrentOption)
{
    const QString rule(48, '-');
    const QStringList lines{rule, " Target XLT Interface:   PR01", " Target XLT firmware:    0123",
                            " Target mod number:      0009", rule};
    for (const auto &[byte112, selected, identityOk] :
         {std::tuple{0, 0, true}, {1, 1, true}, {255, 1, true}, {1, 1, false}}) {
        SCOPED_TRACE(byte112);
        OptionsWindow w(byte112);
        w.identity.status = identityOk ? link::ReplyOk : link::PacketError;
        w.open();
        EXPECT_EQ(w.panel(), identityOk ? lines.join('\n') : QString());
        EXPECT_EQ(w.notifier.texts(),
                  identityOk ? Texts{} : Texts{"XLT Command transmission error PACKET ERROR"});
        EXPECT_TRUE(w.op(selected)->isVisible() && w.op(1 - selected)->isVisible());
        EXPECT_TRUE(w.op(selected)->isChecked());
        EXPECT_FALSE(w.op(1 - selected)->isChecked());
        EXPECT_FALSE(w.bttnSet()->isEnabled());
    }
}

// Set writes back the block as read with only byte 112 changed; a failed write keeps the window.
TEST(OptionsWindow, SetWritesTheBlockBackWithOnlyByte112Changed)
{
    const std::uint8_t ok = link::ReplyOk, timeOut = link::CommandTimeOut;
    for (const auto &[read, click, status] :
         {std::tuple{0, 1, ok}, {255, 0, ok}, {7, 1, ok}, {0, 0, ok}, {0, 1, timeOut}}) {
        SCOPED_TRACE(::testing::Message() << read << " click " << click);
        OptionsWindow w(read);
        w.writeReply.status = status;
        w.open();
        QTest::mouseClick(w.op(click), Qt::LeftButton);
        ASSERT_TRUE(w.bttnSet()->isEnabled());
        w.bttnSet()->click();
        Bytes expected{18};
        expected.insert(expected.end(), w.block.begin(), w.block.end());
        expected[113] = click ? 255 : 0; // opto isolated or TTL RS232
        EXPECT_EQ(w.link.sent.back(), expected);
        EXPECT_EQ(w.notifier.texts(),
                  Texts{status == ok ? options::kSavedText
                                     : "XLT Command transmission error COMMAND TIME_OUT"});
        EXPECT_EQ(w.window->isVisible(), status != ok);
        EXPECT_EQ(w.link.openedPort, 4);
    }
}

TEST(OptionsWindow, OnlyAMouseReleaseInsideAnOptionEnablesSet)
{
    OptionsWindow w;
    w.open();
    w.op(0)->setFocus();
    QTest::keyClick(w.op(0), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(w.op(1)->isChecked());
    QTest::mouseRelease(w.op(0), Qt::LeftButton, {}, QPoint(-5, -5)); // dragged away
    EXPECT_FALSE(w.bttnSet()->isEnabled());
}

// Without a whole block the option buttons stay hidden, so nothing stale can be written back.
TEST(OptionsWindow, OpeningsThatGetNoBlockLeaveOnlyCancel)
{
    using Arrange = std::function<void(OptionsWindow &)>;
    for (const auto &[arrange, message, identityShown] :
         {std::tuple<Arrange, std::string, bool>{[](OptionsWindow &w) { w.ports.records.clear(); },
                                                 options::kNoDeviceText, false},
          {[](OptionsWindow &w) { w.block.resize(127); },
           "The XLT device sent 127 bytes of configuration instead of 128. The options were not "
           "read.",
           true},
          {[](OptionsWindow &w) { w.device.holder = "traffic monitor"; },
           "The XLT device is in use by the traffic monitor. Stop it first, then try again.",
           false}}) {
        SCOPED_TRACE(message);
        OptionsWindow w;
        arrange(w);
        w.open();
        EXPECT_EQ(w.notifier.texts(), Texts{message});
        EXPECT_FALSE(w.op(0)->isVisible() || w.op(1)->isVisible());
        EXPECT_FALSE(w.bttnSet()->isEnabled());
        EXPECT_NE(w.panel().isEmpty(), identityShown);
    }
}

} // namespace
