// The update end to end: the real serial link against the emulated device on a pseudo-terminal,
// in process and through xltctl.
#include "DpcFiles.h"
#include "link/DeviceContext.h"
#include "link/SerialLink.h"
#include "sim/PtyServer.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"
#include "update/Identity.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace xlt;

namespace {

class SilentProgress final : public update::ProgressSink
{
public:
    void setLabel(const std::string &text) override { label = text; }
    void setMaximum(int) override {}
    void setValue(int) override {}
    void setBusy(bool) override {}
    std::string label;
};

std::unique_ptr<sim::PtyServer> startDevice(sim::DeviceOptions options,
                                            const std::string &registryDir = {})
{
    std::string error;
    auto server = sim::PtyServer::start(std::move(options), {registryDir}, error);
    if (!server)
        ADD_FAILURE() << "emulator did not start: " << error;
    return server;
}

TEST(UpdateThroughEmulator, ThreeHundredBlocksThenTheDeviceReportsTheNewIdentity)
{
    auto server = startDevice({});
    ASSERT_TRUE(server);
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM129", server->devicePath()}};
    link::SerialLink serial(ports);
    test::RecordingNotifier notifier;
    core::NullEventPump pump; // the real three-second pause
    link::DeviceContext device(serial, ports, notifier, pump);

    auto opened = update::openUpdateFile("new.dpc", test::makeDpc(300, 0, "PR01 02340005"));
    ASSERT_TRUE(opened.image);
    SilentProgress progress;
    update::Updater updater(device, progress);
    const auto outcome = updater.run(*opened.image);
    EXPECT_EQ(outcome.result, update::UpdateResult::Complete) << outcome.failedBlock;
    EXPECT_EQ(progress.label, "Update complete");
    EXPECT_TRUE(notifier.messages.empty()) << notifier.messages.front().text;

    const auto received = server->withModel([](sim::DeviceModel &m) { return m.updateBlocks(); });
    ASSERT_EQ(received.size(), 300u);
    for (int n : {0, 255, 256, 299}) {
        const auto block = opened.image->block(n);
        EXPECT_TRUE(
            std::equal(block.begin(), block.end(), received[static_cast<std::size_t>(n)].begin()))
            << n;
    }

    const auto identity = update::readDeviceIdentity(device, update::FirmwareStyle::WithPoint);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->interfaceCode, "PR01");
    EXPECT_EQ(identity->firmware, "02.34");
    EXPECT_EQ(identity->modNumber, "0005");
}

struct CliRun
{
    int exitCode;
    std::string out;
    std::string err;
};

struct XltctlUpdate : ::testing::Test
{
    QTemporaryDir dir;

    std::string writeFile(int numBlocks)
    {
        const std::string path = dir.filePath(QStringLiteral("fw.dpc")).toStdString();
        const auto bytes = test::makeDpc(numBlocks, 0, "PR01 09870004");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    CliRun xltctl(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XLT_SIM_DIR"), dir.filePath(QStringLiteral("registry")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            return {-1, {}, "did not finish"};
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    std::string registry() { return dir.filePath(QStringLiteral("registry")).toStdString(); }
};

TEST_F(XltctlUpdate, NoAnswerMeansNo)
{
    auto server = startDevice({}, registry());
    ASSERT_TRUE(server);
    const CliRun run = xltctl({"update", QString::fromStdString(writeFile(20))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(" File firmware version:      09.87\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" Target XLT firmware:    01.23\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Send 20 blocks to the XLT device on COM129? [y/N]"), std::string::npos);
    EXPECT_NE(run.err.find("nothing was sent"), std::string::npos) << run.err;
    EXPECT_TRUE(server->withModel([](sim::DeviceModel &m) { return m.updateBlocks().empty(); }));
}

TEST_F(XltctlUpdate, ConfirmedUpdateCompletes)
{
    auto server = startDevice({}, registry());
    ASSERT_TRUE(server);
    const CliRun run = xltctl({"update", QString::fromStdString(writeFile(20))}, "y\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("block 20/20"), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("\nUpdate complete\n")) << run.out;
    EXPECT_EQ(server->withModel([](sim::DeviceModel &m) { return m.updateBlocks().size(); }), 20u);
}

TEST_F(XltctlUpdate, RefusedBlockIsNamedAndExitIsNonZero)
{
    sim::DeviceOptions options;
    options.refuseBlock = 40;
    auto server = startDevice(options, registry());
    ASSERT_TRUE(server);
    const CliRun run = xltctl({"update", "--yes", QString::fromStdString(writeFile(100))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("XLT Command transmission error PACKET ERROR"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("block 41 of 100 (block number 40) was not accepted"), std::string::npos)
        << run.err;
}

TEST(XltctlOptions, SetsTheHostDriveOption)
{
    QTemporaryDir dir;
    const std::string registry = dir.filePath(QStringLiteral("registry")).toStdString();
    auto server = startDevice({}, registry);
    ASSERT_TRUE(server);
    const auto before = server->withModel([](sim::DeviceModel &m) { return m.configBlock(); });
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XLT_SIM_DIR"), QString::fromStdString(registry));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), {"options", "--drive", "opto"});
    ASSERT_TRUE(process.waitForFinished(20000));
    const std::string out = process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_NE(out.find("Host drive option: Host Drive TTL RS232 (byte 112 = 0)"), std::string::npos)
        << out;
    auto after = server->withModel([](sim::DeviceModel &m) { return m.configBlock(); });
    EXPECT_EQ(after[112], 255);
    after[112] = before[112];
    EXPECT_EQ(after, before);
}

} // namespace
