// The fixed forms of the windows: every control the system names is there under its name, of its
// class, with its caption; the identity panels are set up after the form is loaded.
#include "app/ui/frmAbout.h"
#include "monitor/ui/frmMonitor.h"
#include "options/ui/frmOptions.h"
#include "pr01/ui/frmSetID003.h"
#include "session/Session.h"
#include "session/ui/frmSetDir.h"
#include "support/FakeLink.h"
#include "support/MapStore.h"
#include "support/RecordingNotifier.h"
#include "update/ui/frmXLTUpdate.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>

using namespace xlt;

namespace {

struct Control
{
    const char *name;
    const char *className;
    const char *caption; ///< button or label text, group title, filter hint; null: not checked
};

struct Form
{
    const char *window;
    const char *title;
    std::vector<Control> controls;
};

void PrintTo(const Form &form, std::ostream *out)
{
    *out << form.window;
}

const char *const kFilterHint = "Filter (for example NOTE CREDIT or 7F 80)";

const Form kForms[] = {
    {"frmMonitor",
     "XLT communications monitor",
     {{"Frame1", "QFrame", nullptr},
      {"bttnRun", "QPushButton", "&Run"},
      {"Command2", "QPushButton", "&Stop"},
      {"bttnLog", "QPushButton", "..."},
      {"Label1", "QLabel", "Log File Location:"},
      {"lblLog", "QLabel", nullptr},
      {"chkFollow", "QCheckBox", "Follow"},
      {"tabTraffic", "QTabWidget", nullptr},
      {"Frame2", "QGroupBox", "Target Traffic"},
      {"txtFilterTarget", "QLineEdit", kFilterHint},
      {"List1", "xlt::monitor::TrafficListBox", nullptr},
      {"lblTargetStatus", "QLabel", ""},
      {"bttnClear", "QPushButton", "&Clear List"},
      {"lblTarget", "QLabel", ""},
      {"Frame3", "QGroupBox", "Host Traffic"},
      {"txtFilterHost", "QLineEdit", kFilterHint},
      {"List2", "xlt::monitor::TrafficListBox", nullptr},
      {"lblHostStatus", "QLabel", ""},
      {"bttnClearHost", "QPushButton", "Clear &List"},
      {"lblHost", "QLabel", ""},
      {"txtFilterTimeline", "QLineEdit", kFilterHint},
      {"List3", "xlt::monitor::TrafficListBox", nullptr},
      {"bttnClearTimeline", "QPushButton", "Clear Li&st"}}},
    {"frmSetID003",
     "Set XLT PR01 Configuration Data",
     {{"Frame1", "QGroupBox", "Version"},
      {"txtVersion", "QLineEdit", nullptr},
      {"Frame2", "QGroupBox", "Boot Version"},
      {"txtBootVersion", "QLineEdit", nullptr},
      {"Frame3", "QGroupBox", "Currency Assigment"},
      {"Label1_0", "QLabel", "Code"},
      {"Label1_1", "QLabel", "Country"},
      {"Label1_2", "QLabel", "Demonination"},
      {"Label1_3", "QLabel", "Exp"},
      {"Frame4", "QFrame", nullptr},
      {"Label2", "QLabel", "Load Saved Configuration"},
      {"cmbCfg", "QComboBox", nullptr},
      {"bttnSaveCfg", "QPushButton", "Save Cfg to disc"},
      {"bttnGetCfg", "QPushButton", "&Get XLT Data"},
      {"bttnSetToXLT", "QPushButton", "&Set Data In XLT"},
      {"bttnAutoCfg", "QPushButton", "&Auto Detect cfg"},
      {"bttnAbort", "QPushButton", "Abort Auto &Cfg"},
      {"bttnExit", "QPushButton", "E&xit"}}},
    {"frmXLTUpdate",
     "Update XLT OS",
     {{"Frame1", "QGroupBox", ""},
      {"bttnOpen", "QPushButton", "Open XLT OS &File"},
      {"bttnUpdate", "QPushButton", "Run &Update"},
      {"Picture1", "QPlainTextEdit", nullptr},
      {"prg1", "QProgressBar", nullptr},
      {"lblBlk", "QLabel", ""}}},
    {"frmOptions",
     "Set XLT Options",
     {{"Frame1", "QGroupBox", ""},
      {"Picture1", "QPlainTextEdit", nullptr},
      {"opLevel_0", "QRadioButton", "Host Drive TTL RS232"},
      {"opLevel_1", "QRadioButton", "Host Drive Opto Isolated"},
      {"bttnSet", "QPushButton", "&Set Options"},
      {"bttnCancel", "QPushButton", "&Cancel"}}},
    {"frmSetDir",
     "Set Directory",
     {{"Frame1", "QFrame", nullptr},
      {"Drive1", "QComboBox", nullptr},
      {"Dir1", "QListWidget", nullptr},
      {"bttnOK", "QPushButton", "&OK"},
      {"bttnCancel", "QPushButton", "&Cancel"}}},
    {"frmAbout",
     "About XLT",
     {{"picIcon", "QLabel", nullptr},
      {"lblTitle", "QLabel", "XLT"},
      {"lblVersion", "QLabel", nullptr},
      {"Line1_1", "QFrame", nullptr},
      {"Line1_0", "QFrame", nullptr},
      {"cmdOK", "QPushButton", "OK"}}},
};

QString caption(const QWidget &widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(&widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(&widget))
        return label->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(&widget))
        return group->title();
    if (const auto *edit = qobject_cast<const QLineEdit *>(&widget))
        return edit->placeholderText();
    return {};
}

struct Forms : ::testing::TestWithParam<Form>
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext device{link, ports, notifier};
    test::MapStore store;
    QTemporaryDir programDir;
    session::Session session{device, store, programDir.path()};

    std::unique_ptr<QWidget> make(const std::string &window)
    {
        const std::map<std::string, std::function<std::unique_ptr<QWidget>()>> makers = {
            {"frmMonitor", [&] { return std::make_unique<monitor::frmMonitor>(session); }},
            {"frmSetID003", [&] { return std::make_unique<pr01::frmSetID003>(session); }},
            {"frmXLTUpdate", [&] { return std::make_unique<update::frmXLTUpdate>(device); }},
            {"frmOptions", [&] { return std::make_unique<options::frmOptions>(device); }},
            {"frmSetDir", [&] { return std::make_unique<session::frmSetDir>(session); }},
            {"frmAbout", [&] { return std::make_unique<app::frmAbout>(); }},
        };
        return makers.at(window)();
    }
};

TEST_P(Forms, NamedControlsHaveTheirClassAndCaption)
{
    const Form &form = GetParam();
    const std::unique_ptr<QWidget> window = make(form.window);
    EXPECT_EQ(window->objectName(), QLatin1String(form.window));
    EXPECT_EQ(window->windowTitle(), QLatin1String(form.title));
    for (const Control &control : form.controls) {
        SCOPED_TRACE(control.name);
        const QList<QWidget *> found = window->findChildren<QWidget *>(control.name);
        ASSERT_EQ(found.size(), 1);
        EXPECT_STREQ(found.front()->metaObject()->className(), control.className);
        if (control.caption) {
            EXPECT_EQ(caption(*found.front()), QLatin1String(control.caption));
        }
    }
}

std::string formName(const ::testing::TestParamInfo<Form> &form)
{
    return form.param.window;
}

INSTANTIATE_TEST_SUITE_P(Windows, Forms, ::testing::ValuesIn(kForms), formName);

TEST_F(Forms, MonitorTabsAndLogFolder)
{
    session.LogPath = QStringLiteral("/var/log/xlt");
    const std::unique_ptr<QWidget> window = make("frmMonitor");
    const auto *tabs = window->findChild<QTabWidget *>("tabTraffic");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Target and Host"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Timeline"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(window->findChild<QLabel *>("lblLog")->text(), session.LogPath);
}

// The identity panels come from the form as plain text boxes: the window makes them read-only
// lines of a fixed-pitch font, as wide as the identity lines and as high as the window wants.
TEST_F(Forms, IdentityPanelsAreSetUp)
{
    const std::pair<const char *, int> panels[] = {{"frmXLTUpdate", 180}, {"frmOptions", 110}};
    for (const auto &[name, height] : panels) {
        SCOPED_TRACE(name);
        const std::unique_ptr<QWidget> window = make(name);
        const auto *panel = window->findChild<QPlainTextEdit *>("Picture1");
        EXPECT_TRUE(panel->isReadOnly());
        EXPECT_EQ(panel->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_TRUE(QFontInfo(panel->font()).fixedPitch());
        EXPECT_EQ(panel->minimumHeight(), height);
        EXPECT_GE(panel->minimumWidth(),
                  panel->fontMetrics().horizontalAdvance(QString(56, QLatin1Char('-'))));
    }
}

} // namespace
