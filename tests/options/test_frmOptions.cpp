#include "link/DeviceContext.h"
#include "link/LineWorker.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"
#include "options/ui/frmOptions.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace xlt;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using Reply = test::FakeLink::Reply;

namespace {

/// The device on COM4 answers identity (16), configuration read (17) and write (18), which
/// stores the block unless `writeReply` refuses it.
struct OptionsWindow
{
    explicit OptionsWindow(int hostDrive = 0)
    {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(i * 5 + 3); // every byte differs
        block[112] = std::uint8_t(hostDrive);
        ports.records = {{"\\Device\\USBSER000", "COM4", "/dev/null"}};
        link.responder = [this](const Bytes &c) {
            if (c.at(0) == 18 && writeReply.status == link::ReplyOk)
                block.assign(c.begin() + 1, c.end());
            return c[0] == 16 ? identity : c[0] == 17 ? Reply{link::ReplyOk, block} : writeReply;
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
    link::DeviceContext device{link, ports, notifier};
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
        Bytes expected{18};
        expected.insert(expected.end(), w.block.begin(), w.block.end());
        expected[113] = click ? 255 : 0; // opto isolated or TTL RS232
        w.bttnSet()->click();
        EXPECT_EQ(w.link.sent, (std::vector<Bytes>{{16}, {17}, {17}, expected}));
        EXPECT_EQ(w.notifier.texts(),
                  Texts{status == ok ? options::kSavedText
                                     : "XLT Command transmission error COMMAND TIME_OUT"});
        EXPECT_EQ(w.window->isVisible(), status != ok);
        EXPECT_EQ(w.link.openedPort, 4);
    }
}

// Set reads the block again and changes only byte 112 of what the device holds then: a
// configuration written while the window was open, or another device put in the first one's
// place, is never reverted to the block read when the window opened.
TEST(OptionsWindow, SetKeepsTheConfigurationTheDeviceHoldsNow)
{
    using Change = std::function<void(OptionsWindow &, const Bytes &)>;
    const std::pair<const char *, Change> changes[] = {
        {"written by another operation",
         [](OptionsWindow &w, const Bytes &rows) {
             ASSERT_TRUE(link::runToEnd<bool>(w.device, "configuration", [&](link::Flow &flow) {
                 link::FindXLTPort(flow);
                 return link::WriteXLTConfig(flow, flow.CmdPacket,
                                             std::span<const std::uint8_t, 128>(rows.data(), 128));
             }));
         }},
        {"another device", [](OptionsWindow &w, const Bytes &rows) {
             w.identity.data = {'P', 'R', '0', '3', ' ', '0', '2', '0', '0', '0', '0', '0', '1'};
             w.block = rows;
         }}};
    for (const auto &[name, change] : changes) {
        SCOPED_TRACE(name);
        OptionsWindow w;
        w.open();
        Bytes rows(128);
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = std::uint8_t(200 - i); // bytes 0-111 all differ from the ones read
        change(w, rows);
        QTest::mouseClick(w.op(1), Qt::LeftButton);
        w.bttnSet()->click();
        Bytes expected{18};
        expected.insert(expected.end(), rows.begin(), rows.end());
        expected[113] = 255;
        EXPECT_EQ(w.link.sent.back(), expected);
        EXPECT_EQ(w.notifier.texts(), Texts{options::kSavedText});
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

// Closing the window while its opening read waits on the device ends the operation: the device
// is free at once, and nothing more is sent or shown.
TEST(OptionsWindow, CloseEndsTheReadUnderWay)
{
    std::atomic<bool> waiting{false}, answer{false};
    std::atomic<int> commands{0};
    link::LineWorker line{[&] {
        auto device = std::make_unique<test::FakeLink>();
        device->responder = [&](const Bytes &) {
            ++commands;
            waiting = true;
            while (!answer)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
        };
        return device;
    }};
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM4", "/dev/null"}};
    test::RecordingNotifier notifier;
    link::DeviceContext device{line, ports, notifier};
    options::frmOptions window(device);
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting.load(); }, 5000));
    EXPECT_EQ(device.holder, options::kHolderName);
    window.close();
    EXPECT_TRUE(device.holder.empty());
    // The identity's reply comes in; the block is not asked for, nothing reaches the window.
    std::atomic<bool> lineIdle{false};
    line.submit([&](link::LinkLibrary &) { lineIdle = true; }); // runs after the read
    answer = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return lineIdle.load(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(commands, 1);
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(window.findChild<QPlainTextEdit *>("Picture1")->toPlainText().isEmpty());
}

} // namespace
