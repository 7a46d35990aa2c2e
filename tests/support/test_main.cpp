// GoogleTest main for every test binary: sets a headless Qt platform before the application
// object exists, so window tests run without a display (CTest does not pass the environment
// to test discovery).
#include "BusyProbe.h"

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Keep the user's real settings and data folders out of the tests.
    QStandardPaths::setTestModeEnabled(true);
    xlt::test::ProbedApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("XLT"));
    QApplication::setApplicationName(QStringLiteral("XLT"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
