// xltctl ports and identity against a device on a registered virtual port that the test drives.
#include "PtyResponder.h"
#include "link/SimRegistry.h"
#include "link/XLTPacket.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xlt;
using test::Answer;
using test::Bytes;

namespace {

struct CliRun
{
    int exitCode;
    std::string out;
    std::string err;
};

CliRun xltctl(const QStringList &arguments, const QString &registryDir)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XLT_SIM_DIR"), registryDir);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), arguments);
    if (!process.waitForFinished(20000))
        return {-1, {}, "did not finish"};
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

class CliLinkTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString registry() const { return dir.path(); }
    QTemporaryDir dir;
};

const Bytes kIdentity{'P', 'R', '0', '1', ' ', '0', '1', '0', '2', '0', '0', '0', '3'};

} // namespace

TEST_F(CliLinkTest, NoDevice)
{
    const CliRun ports = xltctl({"ports"}, registry());
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_TRUE(ports.out.ends_with("XLT device: none\n")) << ports.out;

    const CliRun identity = xltctl({"identity"}, registry());
    EXPECT_EQ(identity.exitCode, 1);
    EXPECT_EQ(identity.out, "");
    EXPECT_EQ(identity.err, "No XLT device detected\n");
}

TEST_F(CliLinkTest, DeviceOnAVirtualPort)
{
    test::PtyResponder device([](const link::framing::Frame &command) {
        return Answer{command.data == Bytes{16} ? test::replyTo(command, link::ReplyOk, kIdentity)
                                                : test::replyTo(command, 4, Bytes{})};
    });
    if (!device.ok())
        GTEST_SKIP() << "no pseudo-terminal available (openpty failed)";
    auto registration =
        link::SimPortRegistration::create(registry().toStdString(), device.slavePath());
    ASSERT_TRUE(registration);

    const CliRun ports = xltctl({"ports"}, registry());
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_NE(ports.out.find("COM129 (BV)\nXLT device: COM129\n"), std::string::npos) << ports.out;

    const CliRun identity = xltctl({"identity"}, registry());
    EXPECT_EQ(identity.exitCode, 0) << identity.err;
    EXPECT_EQ(identity.out, "PR01 01020003\n");
    EXPECT_EQ(device.commands(), 1);
}

TEST_F(CliLinkTest, FailedExchangeIsReported)
{
    test::PtyResponder device([](const link::framing::Frame &command) {
        return Answer{test::replyTo(command, 4, Bytes{})};
    });
    if (!device.ok())
        GTEST_SKIP() << "no pseudo-terminal available (openpty failed)";
    auto registration =
        link::SimPortRegistration::create(registry().toStdString(), device.slavePath());
    ASSERT_TRUE(registration);
    const CliRun identity = xltctl({"identity"}, registry());
    EXPECT_EQ(identity.exitCode, 1);
    EXPECT_EQ(identity.err, "xltctl: XLT Command transmission error PACKET ERROR\n");
}
