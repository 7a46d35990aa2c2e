#include "EmulatedDevice.h"
#include "core/Text.h"
#include "pr01/ui/frmSetID003.h"
#include "session/Session.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

using namespace xlt;
using namespace xlt::pr01;
using Frames = std::array<bool, 3>;
constexpr Frames kHidden{false, false, false}, kShown{true, true, true};

namespace {

/// The window in a sub-window of an MDI area, as the main window holds it, on a line that runs
/// at once. (Closing it with a request in flight on a line thread is one of the cases of
/// InFlight.ClosingEachWindowWithARequestInFlight.)
class SetID003Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session.emplace(device.context, settings, appDir);
        window = new frmSetID003(*session);
        area.addSubWindow(window)->setAttribute(Qt::WA_DeleteOnClose);
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    template<typename T = QLineEdit> T *child(const std::string &name) const
    {
        T *found = window->findChild<T *>(QString::fromStdString(name));
        return found ? found : throw std::invalid_argument("no child " + name);
    }
    bool enabled(const char *name) const { return child<QWidget>(name)->isEnabled(); }
    bool visible(const char *name) const { return child<QWidget>(name)->isVisible(); }
    Frames frames() const { return {visible("Frame1"), visible("Frame2"), visible("Frame3")}; }
    void click(const char *name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    void type(const char *box, const char *text) { child(box)->setText(QLatin1String(text)); }
    Pr01Texts shown() const // every box, as the user sees it
    {
        Pr01Texts texts;
        texts.version = core::fromQString(child("txtVersion")->text());
        texts.bootVersion = core::fromQString(child("txtBootVersion")->text());
        const char *names[] = {"txtCode_", "txtCountry_", "txtDenom_", "txtEXP_"}; // Column order
        for (std::size_t row = 0; row < kRowCount; ++row)
            for (int column = 0; column < 4; ++column)
                cell(texts, row, Column(column)) =
                    core::fromQString(child(names[column] + std::to_string(row))->text());
        return texts;
    }

    test::EmulatedDevice device;
    session::QtSettingsStore settings;
    QTemporaryDir programDir;
    // The program's folder is named outside Latin-1: nothing may land in a "????" folder.
    QString appDir =
        programDir.filePath(QString::fromUtf8("\u0416\u0443\u0440\u043d\u0430\u043b \u20ac"));
    std::optional<session::Session> session;
    QMdiArea area;
    QPointer<frmSetID003> window;
};

} // namespace

TEST_F(SetID003Test, SaveLoadReadAndWrite)
{
    EXPECT_EQ(shown(), Pr01Texts::initial());
    EXPECT_EQ(frames(), kHidden);
    EXPECT_EQ(QDir(programDir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{QFileInfo(appDir).fileName()});
    const QString euro = QString::fromUtf8("\u20acuro");
    ASSERT_TRUE(QFile::copy(QStringLiteral(XLT_TEST_DATA_DIR "/initial.ufg"),
                            appDir + "/PR01Cfg/" + euro + ".ufg"));
    type("txtVersion", "ID003 V2");
    type("txtCountry_5", "2a");
    const Pr01Texts saved = shown();
    click("bttnSaveCfg"); // the list is read again, the file put there meanwhile included
    auto *list = child<QComboBox>("cmbCfg");
    EXPECT_EQ((QStringList{list->itemText(0), list->itemText(1)}), QStringList({"ID003", euro}));
    EXPECT_EQ(list->count(), 2);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(list->currentIndex(), -1);
    type("txtVersion", "");
    type("txtCountry_5", "00");
    list->setCurrentIndex(0); // as a user chooses "ID003"
    emit list->activated(0);
    EXPECT_EQ(shown(), saved);
    EXPECT_EQ(frames(), kShown);
    list->setCurrentIndex(1); // "€uro" loads too
    emit list->activated(1);
    EXPECT_EQ(shown(), Pr01Texts::initial());
    EXPECT_TRUE(device.notifier.messages.empty());
    list->setCurrentIndex(0);
    emit list->activated(0);

    click("bttnGetCfg");
    Pr01Texts expected = decodeConfigBlock(sim::defaultConfigBlock());
    EXPECT_EQ(shown(), expected);
    EXPECT_EQ(list->currentIndex(), -1); // the boxes no longer show the file

    type("txtVersion", "ID003 NEW");
    type("txtDenom_2", "a");
    click("bttnSetToXLT");
    EXPECT_EQ(device.notifier.texts(),
              std::vector<std::string>{"XLT PR01 configuration successfully save to XLT memory"});
    EXPECT_EQ(device.notifier.messages.at(0).icon, core::Icon::Information);
    expected.version = "ID003 NEW";
    expected.denom[2] = "0A";
    EXPECT_EQ(device.model.configBlock(), *encodeConfigBlock(expected).block);
    // 16, 17, then 16, 17, 18: files never touch the device.
    EXPECT_EQ(device.model.commandCount(), 5);

    // A read that the device does not answer: one message, then the window is as before.
    device.model.options().fault = sim::Fault::NoReply;
    device.model.options().faultCode = 17;
    click("bttnGetCfg");
    EXPECT_EQ(device.notifier.texts().back(), "XLT Command transmission error COMMAND TIME_OUT");
    EXPECT_EQ(device.notifier.messages.size(), 2u);
    EXPECT_EQ(shown().version, "ID003 NEW");
    EXPECT_TRUE(enabled("bttnGetCfg"));
    EXPECT_NE(window->cursor().shape(), Qt::WaitCursor);
}

// Detection runs between the device's polls; the test looks at the window there (polls are
// instant and the window's buttons are pressed from the pause).
TEST_F(SetID003Test, DetectionLocksTheOtherButtonsFillsEachItemAndEndsOnAbortOrExit)
{
    device.model.options().detectAllAtOnce = true;
    device.model.options().detectTarget = 15; // never ends by itself
    const sim::DetectedConfig detected;
    Pr01Texts expected{.version = detected.version, .bootVersion = detected.bootVersion};
    decodeCurrencyRows(detected.currency, expected);
    click("bttnGetCfg"); // frames shown; a start hides them again
    std::size_t polls = 0;
    device.pauses.onPause = [&] {
        if (++polls == 1) {
            EXPECT_EQ(frames(), kHidden);
            for (const char *name : {"bttnAutoCfg", "bttnGetCfg", "bttnSetToXLT", "bttnSaveCfg"})
                EXPECT_FALSE(enabled(name)) << name;
        }
        if (polls == 4) { // one item a poll: all three are in
            EXPECT_EQ(frames(), kShown);
            EXPECT_EQ(shown(), expected);
            click("bttnAbort"); // this poll still polls, then detection ends
        }
    };
    click("bttnAutoCfg");
    EXPECT_EQ(polls, 4u);
    for (const char *name : {"bttnAutoCfg", "bttnGetCfg", "bttnSetToXLT", "bttnSaveCfg"})
        EXPECT_TRUE(enabled(name)) << name;
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.notifier.messages.empty());

    polls = 0;
    device.pauses.onPause = [&] {
        if (++polls == 2) {
            click("bttnExit"); // the device is free at once, the port closes at the next step
            EXPECT_TRUE(device.context.holder.empty());
        }
    };
    click("bttnAutoCfg");
    EXPECT_EQ(polls, 2u);
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.notifier.messages.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return area.subWindowList().isEmpty() && !window; }));
}
