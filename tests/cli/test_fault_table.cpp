// Every fault of the emulated device against every xltctl command that talks to the device:
// xltctl as a process, over the real serial link, against the emulator behind a pseudo-terminal.
// Each row checks the exit code, that the failure is told once, that the next command finds the
// port free, that no file is left half-written and that the good files from before survive.
// Each row is a test case of its own, so that CTest runs the slow ones (time-outs) side by side.
#include "sim/PtyServer.h"
#include "support/RunXltctl.h"
#include "support/SmallTmpfs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <thread>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using namespace std::chrono_literals;

namespace {

enum class Command { Identity, ConfigRead, ConfigWrite, ConfigDetect, Monitor, Update, Options };

const std::map<Command, const char *> kCommandNames = {
    {Command::Identity, "identity"},        {Command::ConfigRead, "config_read"},
    {Command::ConfigWrite, "config_write"}, {Command::ConfigDetect, "config_detect"},
    {Command::Monitor, "monitor"},          {Command::Update, "update"},
    {Command::Options, "options"}};

constexpr int kImageBlocks = 20; // past block 15, which carries the identity; no first stage

struct Row
{
    std::string name;
    Command command;
    std::function<void(sim::DeviceOptions &)> fault;
    /// Commands the device answers before it vanishes (a disconnect); -1: it never does.
    int answeredBeforeVanishing = -1;
    int exitCode = 0;
    std::string message; ///< told exactly once on stderr; empty: no failure is told
};

/// Names the row in GoogleTest's messages.
void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.name;
}

using Files = std::map<QString, QByteArray>;

/// Every file under `dir`, hidden ones included, by relative path.
Files filesIn(const QString &dir)
{
    Files files;
    QDir root(dir);
    const auto filters = QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QFileInfo &info : root.entryInfoList(filters)) {
        QFile file(info.filePath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << info.filePath().toStdString();
        files[info.fileName()] = file.readAll();
    }
    return files;
}

std::size_t count(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

/// The device's faults switched off; what it is (its image length, say) stays.
void clearFaults(sim::DeviceOptions &options)
{
    const sim::DeviceOptions healthy;
    options.fault = healthy.fault;
    options.faultCode = healthy.faultCode;
    options.disconnectAfter = healthy.disconnectAfter;
    options.refuseBlock = healthy.refuseBlock;
    options.disconnectAtBlock = healthy.disconnectAtBlock;
    options.unplugAfter = healthy.unplugAfter;
    options.timeoutAtBlock = healthy.timeoutAtBlock;
    options.strayBytes = healthy.strayBytes;
}

class Emulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("registry"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("registry")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(m_dir.path()).mkpath(QStringLiteral("work"));
        ASSERT_NO_FATAL_FAILURE(serve({}));
        // The good files from before: a configuration read from the device, an update file.
        ASSERT_EQ(xltctl({"config", "read", "--ufg", work("good.ufg")}), 0) << m_err;
        writeUpdateFile(work("fw.dpc"));
        m_server.reset();
    }

    QString work(const char *name) const
    {
        return m_dir.filePath(QStringLiteral("work/") + QLatin1String(name));
    }

    void serve(sim::DeviceOptions options)
    {
        m_server.reset();
        options.imageBlocks = kImageBlocks;
        options.firstStageCopy = 0ms;
        options.statePath.clear();
        std::string error;
        m_server = sim::PtyServer::start(std::move(options),
                                         {m_dir.filePath("registry").toStdString()}, error);
        ASSERT_TRUE(m_server) << error;
    }

    static void writeUpdateFile(const QString &path,
                                const QByteArray &identity = QByteArray("NT00 02450007"))
    {
        QByteArray bytes(128 + 128 * kImageBlocks, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + i / 128);
        bytes.replace(0, 7, QByteArray("XLT\0\0", 5) + char(kImageBlocks) + char(0));
        bytes.replace(2160, identity.size(), identity);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QStringList arguments(Command command) const
    {
        switch (command) {
        case Command::Identity:
            return {"identity"};
        case Command::ConfigRead:
            return {"config", "read", "--ufg", work("good.ufg")};
        case Command::ConfigWrite:
            return {"config", "write", work("good.ufg")};
        case Command::ConfigDetect:
            return {"config", "detect", "--seconds", "2"};
        case Command::Monitor:
            return {"monitor", "--seconds", "1", "--log-dir", work("")};
        case Command::Update:
            return {"update", "--yes", work("fw.dpc")};
        case Command::Options:
            return {"options", "--drive", "opto"};
        }
        return {};
    }

    /// Runs xltctl; returns its exit code and leaves its output in m_out and m_err.
    int xltctl(const QStringList &arguments)
    {
        auto outcome =
            test::runXltctl(m_dir.filePath("registry"), m_dir.filePath("config"), arguments);
        m_out = std::move(outcome.out);
        m_err = std::move(outcome.err);
        return outcome.code;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<sim::PtyServer> m_server;
    std::string m_out, m_err;
};

class FaultTable : public Emulator, public ::testing::WithParamInterface<Row>
{
};

TEST_P(FaultTable, TellsOnceFreesThePortAndKeepsFiles)
{
    const Row &row = GetParam();
    sim::DeviceOptions options;
    if (row.fault)
        row.fault(options);
    ASSERT_NO_FATAL_FAILURE(serve(options));
    if (row.answeredBeforeVanishing >= 0) {
        // One command answered here, so that even "none of xltctl's" is expressible.
        m_server->withModel([&row](sim::DeviceModel &model) {
            model.options().disconnectAfter = row.answeredBeforeVanishing + 1;
            model.handle(std::vector<std::uint8_t>{16}, sim::Clock::now());
        });
    }
    const Files before = filesIn(work(""));

    EXPECT_EQ(xltctl(arguments(row.command)), row.exitCode) << m_err;
    EXPECT_EQ(count(m_err, "xltctl: talking to the XLT device on COM129 ("), 1u) << m_err;
    if (row.message.empty()) {
        EXPECT_EQ(count(m_err, "error"), 0u) << m_err;
    } else {
        EXPECT_EQ(count(m_err, row.message), 1u) << m_err;
    }

    // Good files survive; new ones (monitor logs, a configuration read) hold whole lines only.
    const Files after = filesIn(work(""));
    for (const auto &[name, content] : before) {
        const bool rewritten = row.command == Command::ConfigRead && row.exitCode == 0;
        EXPECT_TRUE(after.count(name) && (rewritten || after.at(name) == content))
            << name.toStdString() << " lost or changed";
    }
    for (const auto &[name, content] : after) {
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString() << ": a temporary file is left";
        if (!before.count(name) || before.at(name) != content) {
            EXPECT_TRUE(content.isEmpty() || content.endsWith("\r\n"))
                << name.toStdString() << " ends in a cut line";
        }
    }

    // The port is free: the next command right after works (a vanished device is plugged in
    // again as a new emulator).
    if (row.answeredBeforeVanishing >= 0 || options.disconnectAtBlock || options.unplugAfter) {
        // xltctl may end before the emulator's thread has finished vanishing.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!m_server->disconnected() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(m_server->disconnected());
        ASSERT_NO_FATAL_FAILURE(serve({}));
    } else {
        m_server->withModel([](sim::DeviceModel &model) { clearFaults(model.options()); });
    }
    EXPECT_EQ(xltctl({"identity"}), 0) << m_err;
    // Only a whole image is put in use.
    if (row.command == Command::Update) {
        EXPECT_EQ(m_out, row.exitCode == 0 ? "NT00 02450007\n" : "PR01 01230001\n");
    }
}

std::vector<Row> rows()
{
    using O = sim::DeviceOptions;
    const std::string timeOut = "XLT Command transmission error COMMAND TIME_OUT";
    const std::string packetError = "XLT Command transmission error PACKET ERROR";
    const std::string portError = "XLT Command transmission error PORT ERROR";
    const std::string gone = ": the device went away";
    const auto unplugAfter = [](int answered) {
        return [answered](O &o) { o.unplugAfter = answered; };
    };
    struct Fault
    {
        const char *name;
        std::function<void(O &)> set;
        int answeredBeforeVanishing;
        int exitCode;
        std::string message;
    };
    const Fault faults[] = {
        {"none", {}, -1, 0, ""},
        {"no_reply", [](O &o) { o.fault = sim::Fault::NoReply; }, -1, 1, timeOut},
        {"bad_crc", [](O &o) { o.fault = sim::Fault::BadCrc; }, -1, 1, packetError},
        {"garbage", [](O &o) { o.fault = sim::Fault::GarbageBefore; }, -1, 0, ""},
        {"garbage_only", [](O &o) { o.fault = sim::Fault::GarbageOnly; }, -1, 1, timeOut},
        {"fail_status", [](O &o) { o.fault = sim::Fault::FailStatus; }, -1, 1, packetError},
        {"noise", [](O &o) { o.fault = sim::Fault::NoiseBefore; }, -1, 0, ""},
        {"disconnect_after_1", {}, 1, 1, portError},
    };
    std::vector<Row> out = {
        {"update_refuse_block_5", Command::Update, [](O &o) { o.refuseBlock = 5; }, -1, 1,
         "block 6 of 20 (block number 5) was not accepted"},
        {"update_disconnect_at_block_5", Command::Update, [](O &o) { o.disconnectAtBlock = 5; }, -1,
         1, portError},
        {"update_timeout_at_block_5", Command::Update, [](O &o) { o.timeoutAtBlock = 5; }, -1, 1,
         timeOut},
        {"monitor_stray_bytes", Command::Monitor,
         [](O &o) {
             o.strayBytes = true;
             o.traffic = sim::TrafficLevel::Flood;
         },
         -1, 0, ""},
        // Unplugged between two exchanges: the next open finds no port, which is told too.
        {"config_read_unplugged_after_1", Command::ConfigRead, unplugAfter(1), -1, 1, gone},
        {"config_write_unplugged_after_2", Command::ConfigWrite, unplugAfter(2), -1, 1, gone},
        {"config_detect_unplugged_after_1", Command::ConfigDetect, unplugAfter(1), -1, 1, gone},
        {"options_unplugged_after_2", Command::Options, unplugAfter(2), -1, 1, gone},
        {"update_unplugged_after_3", Command::Update, unplugAfter(3), -1, 1, gone},
    };
    for (const auto &[command, commandName] : kCommandNames) {
        for (const Fault &fault : faults) {
            Row row{std::string(commandName) + "_" + fault.name,
                    command,
                    fault.set,
                    fault.answeredBeforeVanishing,
                    fault.exitCode,
                    fault.message};
            if (command == Command::Identity && row.answeredBeforeVanishing > 0)
                row.answeredBeforeVanishing = 0; // its one command
            out.push_back(row);
        }
    }
    return out;
}

TEST_F(Emulator, ConfigurationReadOntoAFullDiskKeepsTheOldFile)
{
    test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const QString mountPoint = fs.path();
    const QString target = fs.filePath("good.ufg");
    ASSERT_TRUE(QFile::copy(work("good.ufg"), target));
    ASSERT_TRUE(fs.fillLeaving(0));
    ASSERT_NO_FATAL_FAILURE(serve({}));
    const int exitCode = xltctl({"config", "read", "--ufg", target});
    const Files files = filesIn(mountPoint);
    const bool told = count(m_err, "Cannot save configuration file") == 1;
    const bool kept = files.at("good.ufg") == filesIn(work("")).at("good.ufg");
    EXPECT_EQ(exitCode, 1) << m_err;
    EXPECT_TRUE(told) << m_err;
    EXPECT_TRUE(kept) << "the old file survives";
    for (const auto &[name, content] : files) {
        EXPECT_TRUE(!name.startsWith('.') || name == ".filler")
            << name.toStdString() << ": a temporary file is left";
    }
    EXPECT_EQ(xltctl({"identity"}), 0) << m_err;
}

// --raw onto a full disk: told once, when it happens, with the reason; the run goes on and ends
// with 1, and the file holds the whole lines written before, which decode reads.
TEST_F(Emulator, RawRepliesOntoAFullDiskAreToldAndStayWholeLines)
{
    test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const QString raw = fs.filePath("raw.txt");
    ASSERT_TRUE(fs.fillLeaving(4096)); // five lines of a flood (765 bytes each)
    ASSERT_NO_FATAL_FAILURE(serve({.traffic = sim::TrafficLevel::Flood}));
    const int exitCode = xltctl({"monitor", "--seconds", "2", "--log-dir", work(""), "--raw", raw});
    EXPECT_EQ(exitCode, 1) << m_err;
    EXPECT_EQ(count(m_err, "cannot write"), 1u) << m_err;
    EXPECT_EQ(count(m_err, "xltctl monitor: cannot write '" + raw.toStdString() +
                               "': No space left on device\n"),
              1u)
        << m_err;
    EXPECT_NE(m_out.find("label|host|PR01"), std::string::npos) << "the run went on to its end";
    const QByteArray kept = filesIn(fs.path()).at("raw.txt");
    EXPECT_EQ(kept.count('\n'), 5) << kept.toStdString();
    EXPECT_TRUE(kept.endsWith('\n'));
    EXPECT_EQ(xltctl({"decode", "--replies", raw}), 0) << m_err;
}

TEST_F(Emulator, DeviceAndFileBytesArePrintedEscaped)
{
    const std::string identity("PR01\x1b]0;x\x07"
                               "1\x00\x9b",
                               13);
    ASSERT_NO_FATAL_FAILURE(serve({.identity = identity}));
    writeUpdateFile(work("escape.dpc"), QByteArray("\x1b[2J\0 \x9b"
                                                   "1m\r\n\x1b[H",
                                                   13));
    QFile replies(work("escape.txt"));
    ASSERT_TRUE(replies.open(QIODevice::WriteOnly));
    replies.write("35 01 00 00 00 01 7F\n\x1b]0;x\x07 AA\n");
    replies.close();
    const std::string modNumber = "\\x071\\x00\\x9B"; // the device's bytes 9 to 12
    // Rows: arguments, a part of what is printed on stdout or stderr.
    const std::tuple<QStringList, std::string> rows[] = {
        {{"identity"}, "PR01\\x1B]0;x" + modNumber + "\n"},
        {{"options"}, " Target mod number:      " + modNumber + "\n"},
        {{"update", work("escape.dpc")}, " File interface version:     \\x1B[2J\n"},
        {{"update", work("escape.dpc")}, " File mod number:            \\x0D\\x0A\\x1B[\n"},
        {{"update", work("escape.dpc")}, " Target mod number:      " + modNumber + "\n"},
        {{"update", "--yes", "--verify", work("escape.dpc")}, "the device reports \\x1B[2J "},
        {{"decode", "--replies", work("escape.txt")}, "line 2: '\\x1B]0;x\\x07' is not hex"},
        {{"decode", "--frame", "\x1b[2J", "7F"}, "tag '\\x1B[2J' is not one"},
        {{"config", "\x1b[2J"}, "unknown subcommand '\\x1B[2J'"},
        {{"identity", "\x1b[2J"}, "unexpected argument '\\x1B[2J'"}};
    for (const auto &[arguments, shown] : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        xltctl(arguments);
        const std::string printed = m_out + m_err;
        EXPECT_NE(printed.find(shown), std::string::npos) << printed;
        EXPECT_EQ(printed.find('\x1b'), std::string::npos) << "a raw escape reached the terminal";
        EXPECT_EQ(printed.find('\0'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Xltctl, FaultTable, ::testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row> &row) { return row.param.name; });

} // namespace
