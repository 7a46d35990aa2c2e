#include "link/XLT_protocol.h"
#include "options/ui/frmOptions.h"
#include "support/FakeLink.h"

#include <QFontInfo>
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

/// The device on COM5 answers identity (16), configuration read (17) and write (18), which
/// stores the block unless `writeReply` refuses it. (Closing the window while its read is in
/// flight is one of the cases of InFlight.ClosingEachWindowWithARequestInFlight.)
struct OptionsWindow : test::FakeDevice
{
    explicit OptionsWindow(int hostDrive = 0)
    {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(i * 5 + 3); // every byte differs
        block[112] = std::uint8_t(hostDrive);
        link.responder = [this](const Bytes &c) {
            if (c.at(0) == 18 && writeReply.status == link::ReplyOk)
                block.assign(c.begin() + 1, c.end());
            return c[0] == 16 ? identity : c[0] == 17 ? Reply{link::ReplyOk, block} : writeReply;
        };
    }
    void open()
    {
        window = std::make_unique<options::frmOptions>(context);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    auto *op(int i) { return window->findChild<QRadioButton *>(i ? "opLevel_1" : "opLevel_0"); }
    auto *bttnSet() { return window->findChild<QPushButton *>("bttnSet"); }
    QString panel() { return window->findChild<QPlainTextEdit *>("Picture1")->toPlainText(); }

    Bytes block = Bytes(128);
    Reply identity{link::ReplyOk,
                   {'P', 'R', '0', '1', ' ', '0', '1', '2', '3', '0', '0', '0', '9'}};
    Reply writeReply;
    std::unique_ptr<options::frmOptions> window;
};

// The option shown comes from byte 112 (0 is TTL RS232, anything else opto isolated), also
// when the identity cannot be read. Without a whole block the option buttons stay hidden, so
// nothing stale can be written back. Set waits for a choice.
TEST(OptionsWindow, OpeningShowsIdentityAndCurrentOption)
{
    const QString rule(48, '-');
    const QString identity =
        QStringList{rule, " Target XLT Interface:   PR01", " Target XLT firmware:    0123",
                    " Target mod number:      0009", rule}
            .join('\n');
    using Arrange = std::function<void(OptionsWindow &)>;
    const std::tuple<int, Arrange, std::string, bool, int> cases[] = {
        // byte 112, what else, the message, identity shown, option checked (-1: hidden)
        {0, {}, "", true, 0},
        {1, {}, "", true, 1},
        {255, {}, "", true, 1},
        {1, [](OptionsWindow &w) { w.identity.status = link::PacketError; },
         "XLT Command transmission error PACKET ERROR", false, 1},
        {0, [](OptionsWindow &w) { w.ports.records.clear(); }, options::kNoDeviceText, false, -1},
        {0, [](OptionsWindow &w) { w.block.resize(127); },
         "The XLT device sent 127 bytes of configuration instead of 128. The options were not "
         "read.",
         true, -1},
    };
    for (const auto &[byte112, arrange, message, identityShown, checked] : cases) {
        SCOPED_TRACE(message + " " + std::to_string(byte112));
        OptionsWindow w(byte112);
        if (arrange)
            arrange(w);
        w.open();
        EXPECT_EQ(w.panel(), identityShown ? identity : QString());
        EXPECT_EQ(w.notifier.texts(), message.empty() ? Texts{} : Texts{message});
        for (int i : {0, 1}) {
            EXPECT_EQ(w.op(i)->isVisible(), checked >= 0) << i;
            EXPECT_EQ(w.op(i)->isChecked(), checked == i) << i;
        }
        EXPECT_FALSE(w.bttnSet()->isEnabled());
    }
}

// Set reads the block again and writes back what the device holds then with only byte 112
// changed: a configuration written while the window was open is never reverted to the block
// read when it opened. A failed write keeps the window, Set enabled to try again.
TEST(OptionsWindow, SetWritesTheDevicesBlockBackWithOnlyByte112Changed)
{
    const std::uint8_t ok = link::ReplyOk;
    const std::uint8_t timeOut = link::CommandTimeOut;
    for (const auto &[read, click, status] :
         {std::tuple{0, 1, ok}, {255, 0, ok}, {7, 1, ok}, {0, 0, ok}, {0, 1, timeOut}}) {
        SCOPED_TRACE(::testing::Message() << read << " click " << click);
        OptionsWindow w(read);
        w.writeReply.status = status;
        w.open();
        for (std::uint8_t &byte : w.block)
            byte ^= 0x5A; // written by another operation since the window opened
        QTest::mouseClick(w.op(click), Qt::LeftButton);
        ASSERT_TRUE(w.bttnSet()->isEnabled());
        Bytes expected{18};
        expected.insert(expected.end(), w.block.begin(), w.block.end());
        expected[113] = click ? 255 : 0; // opto isolated or TTL RS232
        w.bttnSet()->click();
        EXPECT_EQ(w.link.sent, (std::vector<Bytes>{{16}, {17}, {17}, expected}));
        EXPECT_EQ(w.notifier.texts(),
                  Texts{status == ok ? options::kSavedText
                                     : "XLT Command transmission error COMMAND TIME_OUT"});
        EXPECT_EQ(w.window->isVisible(), status != ok);
        EXPECT_EQ(w.bttnSet()->isEnabled(), status != ok);
        EXPECT_EQ(w.link.openedPort, 5);
    }
}

// The identity panel is read-only lines of a fixed pitch (as the update window's); the options
// carry their captions.
TEST(OptionsWindow, OnlyAMouseReleaseInsideAnOptionEnablesSet)
{
    OptionsWindow w;
    w.open();
    const auto *panel = w.window->findChild<QPlainTextEdit *>("Picture1");
    EXPECT_TRUE(panel->isReadOnly() && QFontInfo(panel->font()).fixedPitch());
    EXPECT_EQ(w.op(0)->text() + "|" + w.op(1)->text(),
              "Host Drive TTL RS232|Host Drive Opto Isolated");
    w.op(0)->setFocus();
    QTest::keyClick(w.op(0), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(w.op(1)->isChecked());
    QTest::mouseRelease(w.op(0), Qt::LeftButton, {}, QPoint(-5, -5)); // dragged away
    EXPECT_FALSE(w.bttnSet()->isEnabled());
}

} // namespace
