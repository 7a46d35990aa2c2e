// What the windows set up in code once their form is loaded: the identity panels and the option
// captions. (Names, classes and captions of the controls are the .ui files themselves.)
#include "options/ui/frmOptions.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"
#include "update/ui/frmXLTUpdate.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace xlt;

namespace {

// The identity panels come from the form as plain text boxes: the window makes them read-only
// lines of a fixed-pitch font, as wide as the identity lines and as high as the window wants.
TEST(Forms, IdentityPanelsAndOptionCaptions)
{
    test::FakeLink link;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext device{link, ports, notifier};
    update::frmXLTUpdate update(device);
    options::frmOptions options(device);
    for (const auto &[window, height] :
         {std::pair<QWidget *, int>{&update, 180}, {&options, 110}}) {
        SCOPED_TRACE(height);
        const auto *panel = window->findChild<QPlainTextEdit *>("Picture1");
        EXPECT_TRUE(panel->isReadOnly());
        EXPECT_EQ(panel->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_TRUE(QFontInfo(panel->font()).fixedPitch());
        EXPECT_EQ(panel->minimumHeight(), height);
        EXPECT_GE(panel->minimumWidth(),
                  panel->fontMetrics().horizontalAdvance(QString(56, QLatin1Char('-'))));
    }
    EXPECT_EQ(options.findChild<QRadioButton *>("opLevel_0")->text(), "Host Drive TTL RS232");
    EXPECT_EQ(options.findChild<QRadioButton *>("opLevel_1")->text(), "Host Drive Opto Isolated");
}

} // namespace
