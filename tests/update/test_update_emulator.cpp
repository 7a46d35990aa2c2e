// The update and options end to end: xltctl over the real serial link against the emulated
// device on a pseudo-terminal.
#include "UpdateFixture.h"
#include "sim/PtyServer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gmock/gmock.h>

using namespace xlt;
using ::testing::HasSubstr;

namespace {

struct Emulated : ::testing::Test
{
    void SetUp() override
    {
        std::string error;
        qputenv("XLT_SIM_DIR", dir.filePath("registry").toLocal8Bit()); // for xltctl
        server = sim::PtyServer::start({}, {dir.filePath("registry").toStdString()}, error);
        ASSERT_TRUE(server) << "emulator did not start: " << error;
    }
    /// Runs xltctl; returns its exit code and leaves its output in out and err.
    int xltctl(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        out = process.readAllStandardOutput().toStdString();
        err = process.readAllStandardError().toStdString();
        return process.exitCode();
    }
    template<class F> auto model(F f) { return server->withModel(f); }
    QTemporaryDir dir;
    std::unique_ptr<sim::PtyServer> server;
    std::string out, err;
};

TEST_F(Emulated, UpdateAsksSends300BlocksAndTheDeviceReportsTheNewIdentity)
{
    const auto bytes = test::makeDpc(300, 0, "PR01 02340005");
    const QString path = test::writeFile(dir.filePath("fw.dpc"), bytes);
    EXPECT_EQ(xltctl({"update", path}), 1); // no answer means no
    EXPECT_THAT(out, HasSubstr(" File firmware version:      02.34\n"));
    EXPECT_THAT(out, HasSubstr(" Target XLT firmware:    01.23\n"));
    EXPECT_THAT(out, HasSubstr("Send 300 blocks to the XLT device on COM129? [y/N]"));
    EXPECT_THAT(err, HasSubstr("nothing was sent"));
    EXPECT_TRUE(model([](sim::DeviceModel &m) { return m.updateBlocks().empty(); }));

    EXPECT_EQ(xltctl({"update", path}, "y\n"), 0) << err;
    EXPECT_THAT(out, HasSubstr("block 300/300"));
    // The first-stage text and the outcome stand on lines of their own.
    EXPECT_THAT(out, HasSubstr("\n" + update::kFirstStageText + "\n"));
    EXPECT_TRUE(out.ends_with("\nUpdate complete\n")) << out;
    const auto received = model([](sim::DeviceModel &m) { return m.updateBlocks(); });
    ASSERT_EQ(received.size(), 300u);
    test::Bytes image;
    for (const auto &block : received)
        image.insert(image.end(), block.begin(), block.end());
    EXPECT_TRUE(image == test::Bytes(bytes.begin() + 128, bytes.end())); // all 300 blocks
    EXPECT_EQ(xltctl({"identity"}), 0) << err;
    EXPECT_EQ(out, "PR01 02340005\n");

    // A refused block is named, and the exit code says so.
    model([](sim::DeviceModel &m) { m.options().refuseBlock = 40; });
    EXPECT_EQ(xltctl({"update", "--yes", path}), 1);
    EXPECT_THAT(err, HasSubstr("XLT Command transmission error PACKET ERROR"));
    EXPECT_THAT(err, HasSubstr("block 41 of 300 (block number 40) was not accepted"));
    EXPECT_EQ(model([](sim::DeviceModel &m) { return m.updateBlocks().size(); }), 40u);
}

TEST_F(Emulated, OptionsSetsTheHostDriveOption)
{
    const auto before = model([](sim::DeviceModel &m) { return m.configBlock(); });
    EXPECT_EQ(xltctl({"options", "--drive", "opto"}), 0) << err;
    EXPECT_THAT(out, HasSubstr("Host drive option: Host Drive TTL RS232 (byte 112 = 0)"));
    auto after = model([](sim::DeviceModel &m) { return m.configBlock(); });
    EXPECT_EQ(after[112], 255);
    after[112] = before[112];
    EXPECT_EQ(after, before);
}

} // namespace
