#include "EmulatedDevice.h"
#include "app/Session.h"
#include "core/Text.h"
#include "pr01/ui/frmSetID003.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace xlt;
using namespace xlt::pr01;

namespace {

class MemorySettings final : public app::SettingsStore
{
public:
    std::string read(const std::string &, const std::string &, const std::string &fallback) override
    {
        return fallback;
    }
    void write(const std::string &, const std::string &, const std::string &) override {}
};

class SetID003Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        open();
    }

    void open()
    {
        window.reset();
        window = std::make_unique<frmSetID003>(session);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template<typename T = QWidget>
    T *child(const QString &name) const
    {
        T *found = window->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QLineEdit *box(const char *name) const { return child<QLineEdit>(QLatin1String(name)); }
    QPushButton *button(const char *name) const { return child<QPushButton>(QLatin1String(name)); }
    QComboBox *cmbCfg() const { return child<QComboBox>(QStringLiteral("cmbCfg")); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    std::array<bool, 3> framesVisible() const
    {
        return {child(QStringLiteral("Frame1"))->isVisible(),
                child(QStringLiteral("Frame2"))->isVisible(),
                child(QStringLiteral("Frame3"))->isVisible()};
    }

    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < cmbCfg()->count(); ++i)
            names << cmbCfg()->itemText(i);
        return names;
    }

    void writeFile(const QString &name, const char *content)
    {
        QFile file(folder() + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    /// Chooses a saved configuration as a user does.
    void choose(const QString &name)
    {
        const int index = cmbCfg()->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        cmbCfg()->setCurrentIndex(index);
        emit cmbCfg()->activated(index);
    }

    QString folder() const { return programDir.filePath(QStringLiteral("PR01Cfg")); }

    bool waitDetectionOver()
    {
        return QTest::qWaitFor([this] { return button("bttnAutoCfg")->isEnabled(); }, 5000);
    }

    test::EmulatedDevice device;
    MemorySettings settings;
    QTemporaryDir programDir;
    app::Session session{device.context, settings, programDir.path().toStdString()};
    std::unique_ptr<frmSetID003> window;
};

constexpr std::array<bool, 3> kHidden{false, false, false};
constexpr std::array<bool, 3> kShown{true, true, true};

} // namespace

TEST_F(SetID003Test, OpensWithHiddenFramesAndInitialBoxes)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Set XLT PR01 Configuration Data"));
    EXPECT_EQ(framesVisible(), kHidden);
    EXPECT_EQ(box("txtVersion")->text(), QString());
    EXPECT_EQ(box("txtCode_7")->text(), QStringLiteral("68"));
    EXPECT_EQ(box("txtEXP_7")->text(), QStringLiteral("00"));
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_FALSE(cmbCfg()->isEnabled());
    EXPECT_TRUE(device.link.sent.empty());
}

TEST_F(SetID003Test, ReadShowsTheDevicesConfiguration)
{
    writeFile(QStringLiteral("old.ufg"), "");
    open();
    choose(QStringLiteral("old"));
    click("bttnGetCfg");
    EXPECT_TRUE(device.notifier.messages.empty());
    EXPECT_EQ(box("txtVersion")->text(), QStringLiteral("PR01 ID003 XLT V01.23"));
    EXPECT_EQ(box("txtBootVersion")->text(), QStringLiteral("BOOT V1.00"));
    EXPECT_EQ(box("txtDenom_3")->text(), QStringLiteral("0A"));
    EXPECT_EQ(framesVisible(), kShown);
    EXPECT_EQ(cmbCfg()->currentIndex(), -1);
}

TEST_F(SetID003Test, WriteStoresTheBoxesInTheDevice)
{
    QTest::keyClicks(box("txtVersion"), QStringLiteral("ID003 NEW"));
    box("txtDenom_2")->setText(QStringLiteral("a"));
    click("bttnSetToXLT");
    EXPECT_EQ(device.notifier.texts(),
              std::vector<std::string>{"XLT PR01 configuration successfully save to XLT memory"});
    const sim::ConfigBlock &stored = device.model.configBlock();
    EXPECT_EQ(std::string(stored.begin(), stored.begin() + 10), std::string("ID003 NEW\0", 10));
    EXPECT_EQ(stored[80 + 4 * 2 + 2], 10);
    EXPECT_EQ(stored[80 + 4 * 7], 0x68);
}

TEST_F(SetID003Test, SaveListAndLoad)
{
    writeFile(QStringLiteral("later.ufg"), ""); // listed only after the next save
    box("txtVersion")->setText(QStringLiteral("ID003 V2"));
    box("txtCountry_5")->setText(QStringLiteral("2a"));
    click("bttnSaveCfg");
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("ID003"), QStringLiteral("later")}));
    EXPECT_TRUE(cmbCfg()->isEnabled());
    EXPECT_EQ(cmbCfg()->currentIndex(), -1);

    box("txtVersion")->clear();
    box("txtCountry_5")->setText(QStringLiteral("00"));
    choose(QStringLiteral("ID003"));
    EXPECT_EQ(box("txtVersion")->text(), QStringLiteral("ID003 V2"));
    EXPECT_EQ(box("txtCountry_5")->text(), QStringLiteral("2a"));
    EXPECT_EQ(framesVisible(), kShown);
    EXPECT_TRUE(device.notifier.messages.empty());
    EXPECT_TRUE(device.link.sent.empty()); // files never touch the device
}

TEST_F(SetID003Test, ShortFileLoadsWhatItHoldsThenComplains)
{
    writeFile(QStringLiteral("short.ufg"), "[BOOT VERSION]\r\nB1\r\n[CURRENCY ASSIG DATA]\r\n99\r\n");
    open();
    choose(QStringLiteral("short"));
    EXPECT_EQ(device.notifier.texts(), std::vector<std::string>{"Cannot open config file "
                                                                + folder().toStdString() + "/short.ufg"});
    EXPECT_EQ(box("txtBootVersion")->text(), QStringLiteral("B1"));
    EXPECT_EQ(box("txtCode_0")->text(), QStringLiteral("99"));
    EXPECT_EQ(framesVisible(), kHidden);
}

TEST_F(SetID003Test, DetectionFillsEachItemAndLocksTheOtherButtons)
{
    click("bttnGetCfg"); // frames shown; a start hides them again
    click("bttnAutoCfg");
    EXPECT_EQ(framesVisible(), kHidden);
    for (const char *name : {"bttnAutoCfg", "bttnGetCfg", "bttnSetToXLT", "bttnSaveCfg"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_TRUE(button("bttnAbort")->isEnabled());
    EXPECT_TRUE(child<QTimer>(QStringLiteral("tmrCfg"))->isActive());

    ASSERT_TRUE(waitDetectionOver());
    const sim::DetectedConfig detected;
    EXPECT_EQ(core::fromQString(box("txtVersion")->text()), detected.version);
    EXPECT_EQ(core::fromQString(box("txtBootVersion")->text()), detected.bootVersion);
    EXPECT_EQ(box("txtDenom_4")->text(), QStringLiteral("64"));
    EXPECT_EQ(framesVisible(), kShown);
    for (const char *name : {"bttnGetCfg", "bttnSetToXLT", "bttnSaveCfg"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.notifier.messages.empty());
}

TEST_F(SetID003Test, AbortEndsADetectionThatNeverCompletes)
{
    device.model.options().detectAllAtOnce = true;
    device.model.options().detectTarget = 3;
    click("bttnAutoCfg");
    ASSERT_TRUE(QTest::qWaitFor([this] { return framesVisible()[1]; }, 5000));
    click("bttnAbort");
    ASSERT_TRUE(waitDetectionOver());
    EXPECT_EQ(framesVisible(), (std::array<bool, 3>{true, true, false}));
    EXPECT_FALSE(device.inProcess.isOpen());
}

TEST_F(SetID003Test, ExitDuringDetectionClosesTheSubWindowAndThePort)
{
    device.model.options().detectTarget = 15; // never ends by itself
    window.reset();
    QMdiArea area;
    QPointer<frmSetID003> form = new frmSetID003(session);
    QPointer<QMdiSubWindow> sub = area.addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    area.show();
    const auto clickIn = [&form](const char *name) {
        QTest::mouseClick(form->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    };
    clickIn("bttnAutoCfg");
    ASSERT_TRUE(device.inProcess.isOpen());
    clickIn("bttnExit");
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.context.holder.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return sub.isNull() && form.isNull(); }, 2000));
}

TEST_F(SetID003Test, DeviceButtonsRefuseWhileTheMonitorHoldsTheDevice)
{
    link::DeviceHold monitor(device.context, "traffic monitor");
    for (const char *name : {"bttnGetCfg", "bttnSetToXLT", "bttnAutoCfg"})
        click(name);
    EXPECT_EQ(device.notifier.messages.size(), 3u);
    EXPECT_TRUE(device.link.sent.empty());
}
