#include "app/Session.h"
#include "link/DeviceContext.h"
#include "options/ui/frmOptions.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

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

std::vector<std::uint8_t> storedBlock(std::uint8_t hostDrive)
{
    std::vector<std::uint8_t> block(128);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 5 + 3);
    block[112] = hostDrive;
    return block;
}

struct OptionsWindow : ::testing::Test
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext device{link, ports, notifier, pump};
    NullStore store;
    app::Session session{device, store, "/tmp"};

    std::string identity = "PR01 01230009";
    std::uint8_t identityStatus = link::ReplyOk;
    std::vector<std::uint8_t> block = storedBlock(0);
    std::uint8_t writeStatus = link::ReplyOk;
    std::unique_ptr<options::frmOptions> window;

    OptionsWindow()
    {
        ports.records = {{"\\Device\\USBSER000", "COM4", "/dev/null"}};
        link.responder = [this](const std::vector<std::uint8_t> &command) {
            switch (command.at(0)) {
            case 16:
                return test::FakeLink::Reply{identityStatus, {identity.begin(), identity.end()}};
            case 17:
                return test::FakeLink::Reply{link::ReplyOk, block};
            default:
                return test::FakeLink::Reply{writeStatus, {}};
            }
        };
    }

    void openWindow()
    {
        window = std::make_unique<options::frmOptions>(session);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    template<class T> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QRadioButton *op(int index) { return child<QRadioButton>(index ? "opLevel_1" : "opLevel_0"); }
    QPushButton *bttnSet() { return child<QPushButton>("bttnSet"); }
    QStringList panel() { return child<QPlainTextEdit>("Picture1")->toPlainText().split('\n'); }
    /// The command 18 sent, if any.
    std::vector<std::uint8_t> written()
    {
        for (const auto &command : link.sent) {
            if (command.at(0) == 18)
                return command;
        }
        return {};
    }
};

TEST_F(OptionsWindow, OpeningShowsIdentityAndCurrentOption)
{
    const struct
    {
        std::uint8_t byte112;
        int selected;
    } cases[] = {{0, 0}, {1, 1}, {255, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.byte112));
        block = storedBlock(c.byte112);
        openWindow();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Set XLT Options"));
        EXPECT_EQ(panel(), (QStringList{QString(48, '-'), " Target XLT Interface:   PR01",
                                        " Target XLT firmware:    0123",
                                        " Target mod number:      0009", QString(48, '-')}));
        EXPECT_FALSE(op(0)->isHidden());
        EXPECT_FALSE(op(1)->isHidden());
        EXPECT_EQ(op(0)->text(), QStringLiteral("Host Drive TTL RS232"));
        EXPECT_EQ(op(1)->text(), QStringLiteral("Host Drive Opto Isolated"));
        EXPECT_TRUE(op(c.selected)->isChecked());
        EXPECT_FALSE(op(1 - c.selected)->isChecked());
        EXPECT_FALSE(bttnSet()->isEnabled());
        window.reset();
    }
}

TEST_F(OptionsWindow, SetWritesBackTheBlockWithOnlyByte112Changed)
{
    const struct
    {
        std::uint8_t read;
        int click;
        std::uint8_t written;
    } cases[] = {{0, 1, 255}, {1, 1, 255}, {255, 0, 0}, {0, 0, 0}, {7, 1, 255}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.read) << " click " << c.click);
        block = storedBlock(c.read);
        link.sent.clear();
        notifier.messages.clear();
        openWindow();
        QTest::mouseClick(op(c.click), Qt::LeftButton);
        ASSERT_TRUE(bttnSet()->isEnabled());
        bttnSet()->click();
        const auto command = written();
        ASSERT_EQ(command.size(), 129u);
        auto expected = block;
        expected[112] = c.written;
        EXPECT_EQ(std::vector<std::uint8_t>(command.begin() + 1, command.end()), expected);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].icon, core::Icon::Information);
        EXPECT_EQ(notifier.messages[0].text,
                  "XLT Option configuration successfully save to XLT memory. Please reset the "
                  "power to XLT to make changes active.");
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(link.openedPort, 4);
        window.reset();
    }
}

TEST_F(OptionsWindow, KeyboardChoiceDoesNotEnableSet)
{
    openWindow();
    op(0)->setFocus();
    QTest::keyClick(op(0), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(op(1)->isChecked());
    EXPECT_FALSE(bttnSet()->isEnabled());
    // A release outside the button (the press dragged away) does not count either.
    QTest::mouseRelease(op(0), Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_FALSE(bttnSet()->isEnabled());
}

TEST_F(OptionsWindow, FailedWriteKeepsTheWindowForAnotherTry)
{
    writeStatus = link::CommandTimeOut;
    openWindow();
    QTest::mouseClick(op(1), Qt::LeftButton);
    bttnSet()->click();
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(bttnSet()->isEnabled());
    EXPECT_TRUE(op(1)->isChecked());
}

TEST_F(OptionsWindow, OpeningsThatGetNoBlockLeaveOnlyCancel)
{
    const struct
    {
        const char *name;
        std::function<void()> arrange;
        std::vector<std::string> messages;
        int panelLines;
    } cases[] = {
        {"no device", [&] { ports.records.clear(); }, {"No XLT device detected on USB"}, 0},
        {"short block",
         [&] { block.resize(100); },
         {"The XLT device sent 100 bytes of configuration instead of 128. The options were not "
          "read."},
         5},
        {"held",
         [&] { device.holder = "traffic monitor"; },
         {"The XLT device is in use by the traffic monitor. Stop it first, then try again."},
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        notifier.messages.clear();
        openWindow();
        EXPECT_EQ(notifier.texts(), c.messages);
        EXPECT_TRUE(op(0)->isHidden());
        EXPECT_TRUE(op(1)->isHidden());
        EXPECT_FALSE(bttnSet()->isEnabled());
        EXPECT_EQ(child<QPlainTextEdit>("Picture1")->toPlainText().isEmpty() ? 0 : panel().size(),
                  c.panelLines);
        EXPECT_TRUE(written().empty());
        child<QPushButton>("bttnCancel")->click();
        EXPECT_FALSE(window->isVisible());
        window.reset();
        ports.records = {{"\\Device\\USBSER000", "COM4", "/dev/null"}};
        block = storedBlock(0);
        device.holder.clear();
    }
}

TEST_F(OptionsWindow, IdentityFailureStillReadsTheBlock)
{
    identityStatus = link::PacketError;
    block = storedBlock(1);
    openWindow();
    EXPECT_TRUE(child<QPlainTextEdit>("Picture1")->toPlainText().isEmpty());
    EXPECT_FALSE(op(1)->isHidden());
    EXPECT_TRUE(op(1)->isChecked());
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
}

} // namespace
