// xltctl config and update as programs against the emulator on a pty: exit codes, refusals of
// files that hold no configuration or image, and saves that keep the old file.
#include "core/FileIo.h"
#include "pr01/ConfigBlock.h"
#include "pr01/UfgFile.h"
#include "sim/DeviceModel.h"
#include "sim/PtyServer.h"
#include "support/RunXltctl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace xlt;

namespace {

using Outcome = test::XltctlOutcome;

class ConfigCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        server = sim::PtyServer::start({}, {registry.path().toStdString()}, error);
        ASSERT_TRUE(server) << error;
    }
    Outcome xltctl(const QStringList &args)
    {
        return test::runXltctl(registry.path(), registry.path() + "/config", args);
    }
    QString file(const QString &name, const std::string &content)
    {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content.data(), static_cast<qint64>(content.size()));
        return out.fileName();
    }
    int commands()
    {
        return server->withModel([](sim::DeviceModel &m) { return m.commandCount(); });
    }
    pr01::ConfigBlock block()
    {
        return server->withModel([](sim::DeviceModel &m) { return m.configBlock(); });
    }

    QTemporaryDir registry;
    QTemporaryDir dir;
    std::unique_ptr<sim::PtyServer> server;
};

pr01::Pr01Texts wanted()
{
    pr01::Pr01Texts texts = pr01::Pr01Texts::initial();
    texts.version = "ID003 V9";
    texts.bootVersion = "BOOT-9";
    texts.country[3] = "2A";
    return texts;
}

// Bad usage and files that hold no whole configuration give exit code 2, and nothing reaches
// the device; only a whole file is written, with exit code 0.
TEST_F(ConfigCli, WriteTakesOnlyAWholeConfiguration)
{
    const std::string whole = pr01::ufgText(wanted());
    std::string dpc(2200, '\0');
    dpc.replace(0, 3, "XLT");
    std::string noise(700, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 31 % 256);
    const QString fifo = dir.filePath("pipe.ufg");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    pr01::Pr01Texts tooBig = wanted();
    tooBig.code[0] = "100";
    pr01::Pr01Texts notHex = wanted();
    notHex.country[3] = "zz";
    pr01::Pr01Texts escape = wanted();
    escape.exp[0] = "\x1b[2J";
    pr01::Pr01Texts tooLong = wanted();
    tooLong.version.assign(65, 'V');
    const QString zz = file("zz.ufg", pr01::ufgText(notHex));
    const std::string zzNamed = "zz.ufg line 21: Row 3 Country 'zz' is not a hexadecimal byte";
    const pr01::ConfigBlock before = block();
    // Rows: arguments, what stderr names.
    const std::pair<QStringList, std::string> refused[] = {
        {{}, "missing subcommand"},
        {{"bogus"}, "unknown subcommand"},
        {{"write"}, "write takes one FILE.ufg"},
        {{"read", "--ufg"}, "read takes only --ufg FILE"},
        {{"detect", "--seconds", "0"}, "detect takes --seconds N"},
        {{"write", file("empty.ufg", "")}, "Cannot open config file"},
        {{"write", file("update.dpc", dpc)}, "complete"},
        {{"write", file("noise.ufg", noise)}, "complete"},
        {{"write", file("cut.ufg", "[VERSION D")}, "complete"},
        {{"write", file("two.ufg", whole.substr(0, whole.find("[CURRENCY")))}, "complete"},
        {{"write", file("short.ufg", whole.substr(0, whole.size() - 6))}, "complete"},
        {{"write", dir.filePath("missing.ufg")}, "Cannot open config file"},
        {{"write", "/dev/zero"}, "Cannot open config file"},
        {{"write", fifo}, "Cannot open config file"},
        {{"write", file("big.ufg", pr01::ufgText(tooBig))},
         "xltctl config: " + dir.filePath("big.ufg").toStdString() +
             " line 8: Row 0 Code '100' is not a hexadecimal byte (00 to FF)\n"},
        {{"write", zz}, zzNamed},
        {{"write", "--dry-run", zz}, zzNamed},
        {{"diff", zz}, zzNamed},
        {{"diff", file("whole.ufg", whole), zz}, zzNamed},
        {{"write", file("escape.ufg", pr01::ufgText(escape))}, "line 11: Row 0 Exp '\\x1B[2J'"},
        {{"diff", file("long.ufg", pr01::ufgText(tooLong))}, "at most 64"},
    };
    for (const auto &[args, named] : refused) {
        QElapsedTimer timer;
        timer.start();
        const Outcome outcome = xltctl(QStringList{"config"} + args);
        EXPECT_EQ(outcome.code, 2) << args.join(' ').toStdString() << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(named), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "") << args.join(' ').toStdString();
        EXPECT_LT(timer.elapsed(), 10000) << args.join(' ').toStdString();
    }
    EXPECT_EQ(commands(), 0);
    EXPECT_EQ(block(), before);

    const QString euro = dir.filePath(QString::fromUtf8("\u20acuro.ufg"));
    ASSERT_TRUE(pr01::saveUfgFile(xlt::core::toPath(euro), wanted()));
    const Outcome written = xltctl({"config", "write", euro});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(block(), *pr01::encodeConfigBlock(wanted()).block);
}

// Read saves the device's configuration into any path; without a device it fails with 1.
TEST_F(ConfigCli, ReadSavesTheFileAndFailsWithoutADevice)
{
    const QString saved =
        dir.filePath(QString::fromUtf8("\u0416\u0443\u0440\u043d\u0430\u043b.ufg"));
    const Outcome read = xltctl({"config", "read", "--ufg", saved});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_NE(read.out.find("Row  Code  Country  Demonination  Exp"), std::string::npos);
    pr01::Pr01Texts texts = pr01::Pr01Texts::initial();
    ASSERT_TRUE(
        pr01::applyUfgSections(*pr01::readUfgFile(xlt::core::toPath(saved)), texts).whole());
    EXPECT_EQ(texts, pr01::decodeConfigBlock(block()));

    server.reset();
    const Outcome none = xltctl({"config", "read"});
    EXPECT_EQ(none.code, 3); // no device
    EXPECT_EQ(none.err, "xltctl: No XLT device detected\n");
}

// A save on a full disk is a failure (exit 1) and the old file survives.
// Update files: devices, pipes and files larger than any image are refused at once.
TEST_F(ConfigCli, UpdateRefusesWhatIsNoUpdateFile)
{
    const QString fifo = dir.filePath("pipe.dpc");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile large(dir.filePath("large.dpc"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.write("XLT") == 3 &&
                large.resize(128 + 128 * 32768 + 1));
    large.close();
    for (const QString &path : {QString("/dev/zero"), fifo, large.fileName(), dir.path()}) {
        QElapsedTimer timer;
        timer.start();
        const Outcome outcome = xltctl({"update", "--yes", path});
        EXPECT_EQ(outcome.code, 2) << path.toStdString() << ": " << outcome.err;
        EXPECT_LT(timer.elapsed(), 10000) << path.toStdString();
    }
    EXPECT_EQ(commands(), 0);
}

} // namespace
