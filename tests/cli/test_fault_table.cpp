// Every fault of the emulated device against every xltctl command that talks to the device:
// xltctl as a process, over the real serial link, against the emulator behind a pseudo-terminal.
// Each row checks the exit code, that the failure is told once, that the next command finds the
// port free, that no file is left half-written and that the good files from before survive.
// Each row is a test case of its own, so that CTest runs the slow ones (time-outs) side by side.
#include "support/SmallTmpfs.h"
#include "support/XltctlRig.h"
#include "update/UpdateFixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <map>
#include <thread>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using namespace std::chrono_literals;

namespace {

constexpr int kImageBlocks = 20; // past block 15, which carries the identity; no first stage

/// A command, run in the rig's folder (which holds good.ufg and fw.dpc).
struct Command
{
    const char *name;
    test::Args args;
};
const Command kCommands[] = {{"identity", {"identity"}},
                             {"config_read", {"config", "read", "--ufg", "good.ufg"}},
                             {"config_write", {"config", "write", "good.ufg"}},
                             {"config_detect", {"config", "detect", "--seconds", "2"}},
                             {"monitor", {"monitor", "--seconds", "1", "--log-dir", "."}},
                             {"update", {"update", "--yes", "fw.dpc"}},
                             {"options", {"options", "--drive", "opto"}}};

struct Row
{
    std::string name; ///< starts with the command's name
    const Command *command;
    std::function<void(sim::DeviceOptions &)> fault;
    /// Commands the device answers before it vanishes (a disconnect); -1: it never does.
    int answeredBeforeVanishing = -1;
    int exitCode = 0;
    std::string message; ///< told exactly once on stderr; empty: no failure is told
};

using Files = std::map<QString, QByteArray>;

/// Every file in `dir`, hidden ones included, by name.
Files filesIn(const QString &dir)
{
    Files files;
    for (const QFileInfo &info :
         QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
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

/// A healthy device whose image is kImageBlocks long and put in use at once.
sim::DeviceOptions healthy()
{
    return {.firstStageCopy = 0ms, .imageBlocks = kImageBlocks};
}

/// An update file of `blocks` blocks whose identity (in block 15) is `identity`.
std::string updateFile(const std::string &identity = "NT00 02450007", int blocks = kImageBlocks)
{
    const test::Bytes bytes = test::makeDpc(blocks, 0, identity);
    return {bytes.begin(), bytes.end()};
}

class Emulator : public test::XltctlTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(serve(healthy()));
        // The good files from before: a configuration read from the device, an update file.
        ASSERT_EQ(xltctl({"config", "read", "--ufg", "good.ufg"}), 0) << m_err;
        write("fw.dpc", updateFile());
        server.reset();
    }

    /// Runs xltctl; returns its exit code and leaves its output in m_out and m_err.
    int xltctl(const test::Args &arguments, const std::string &input = {})
    {
        test::Outcome outcome = run(arguments, input);
        m_out = std::move(outcome.out);
        m_err = std::move(outcome.err);
        return outcome.code;
    }

    std::string m_out, m_err;
};

class FaultTable : public Emulator, public ::testing::WithParamInterface<Row>
{
};

TEST_P(FaultTable, TellsOnceFreesThePortAndKeepsFiles)
{
    const Row &row = GetParam();
    sim::DeviceOptions options = healthy();
    if (row.fault)
        row.fault(options);
    ASSERT_NO_FATAL_FAILURE(serve(options));
    if (row.answeredBeforeVanishing >= 0) {
        // One command answered here, so that even "none of xltctl's" is expressible.
        model([&row](sim::DeviceModel &model) {
            model.options().disconnectAfter = row.answeredBeforeVanishing + 1;
            model.handle(std::vector<std::uint8_t>{16}, sim::Clock::now());
        });
    }
    const Files before = filesIn(dir.path());

    EXPECT_EQ(xltctl(row.command->args), row.exitCode) << m_err;
    EXPECT_EQ(count(m_err, "xltctl: talking to the XLT device on COM129 ("), 1u) << m_err;
    EXPECT_EQ(count(m_err, row.message.empty() ? "error" : row.message),
              row.message.empty() ? 0u : 1u)
        << m_err;
    const bool changes = row.exitCode == 0 && row.name.starts_with("options");
    if (changes) { // the host drive byte, and no other
        sim::ConfigBlock block = model([](sim::DeviceModel &m) { return m.configBlock(); });
        EXPECT_EQ(block[sim::kHostDriveOffset], 255);
        block[sim::kHostDriveOffset] = sim::defaultConfigBlock()[sim::kHostDriveOffset];
        EXPECT_EQ(block, sim::defaultConfigBlock());
    }

    // Good files survive; new ones (monitor logs, a configuration read) hold whole lines only.
    const Files after = filesIn(dir.path());
    for (const auto &[name, content] : before) {
        const bool rewritten = row.name.starts_with("config_read") && row.exitCode == 0;
        EXPECT_TRUE(after.contains(name) && (rewritten || after.at(name) == content))
            << name.toStdString() << " lost or changed";
    }
    for (const auto &[name, content] : after) {
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString() << ": a temporary file is left";
        if (!before.contains(name) || before.at(name) != content) {
            // Logs end their lines with CR LF, the capture file with LF.
            EXPECT_TRUE(content.isEmpty() || content.endsWith("\r\n") ||
                        (name.endsWith(".xltcap") && content.endsWith('\n')))
                << name.toStdString() << " ends in a cut line";
        }
    }

    // The port is free: the next command right after works (a vanished device is plugged in
    // again as a new emulator).
    if (row.answeredBeforeVanishing >= 0 || options.disconnectAtBlock || options.unplugAfter) {
        // xltctl may end before the emulator's thread has finished vanishing.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!server->disconnected() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(server->disconnected());
        ASSERT_NO_FATAL_FAILURE(serve(healthy()));
    } else {
        model([](sim::DeviceModel &model) { model.options() = healthy(); });
    }
    EXPECT_EQ(xltctl({"identity"}), 0) << m_err;
    // Only a whole image is put in use.
    if (row.name.starts_with("update")) {
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
    const auto fault = [](sim::Fault f) { return [f](O &o) { o.fault = f; }; };
    const Command &update = kCommands[5];
    std::vector<Row> out = {
        {"update_refuse_block_16", &update, [](O &o) { o.refuseBlock = 16; }, -1, 1,
         "block 17 of 20 (block number 16) was not accepted"},
        {"update_disconnect_at_block_16", &update, [](O &o) { o.disconnectAtBlock = 16; }, -1, 1,
         portError},
        {"update_timeout_at_block_16", &update, [](O &o) { o.timeoutAtBlock = 16; }, -1, 1,
         timeOut},
        {"monitor_stray_bytes", &kCommands[4],
         [](O &o) {
             o.strayBytes = true;
             o.traffic = sim::TrafficLevel::Flood;
         },
         -1, 0, ""},
        // Unplugged between two exchanges: the next open finds no port, which is told too.
        {"config_read_unplugged_after_1", &kCommands[1], unplugAfter(1), -1, 1, gone},
        {"config_write_unplugged_after_2", &kCommands[2], unplugAfter(2), -1, 1, gone},
        {"config_detect_unplugged_after_1", &kCommands[3], unplugAfter(1), -1, 1, gone},
        {"options_unplugged_after_2", &kCommands[6], unplugAfter(2), -1, 1, gone},
        {"update_unplugged_after_3", &update, unplugAfter(3), -1, 1, gone},
    };
    const Row faults[] = {
        {"none", nullptr, {}, -1, 0, ""},
        {"no_reply", nullptr, fault(sim::Fault::NoReply), -1, 1, timeOut},
        {"bad_crc", nullptr, fault(sim::Fault::BadCrc), -1, 1, packetError},
        {"garbage", nullptr, fault(sim::Fault::GarbageBefore), -1, 0, ""},
        {"garbage_only", nullptr, fault(sim::Fault::GarbageOnly), -1, 1, timeOut},
        {"fail_status", nullptr, fault(sim::Fault::FailStatus), -1, 1, packetError},
        {"noise", nullptr, fault(sim::Fault::NoiseBefore), -1, 0, ""},
        {"disconnect_after_1", nullptr, {}, 1, 1, portError},
    };
    for (const Command &command : kCommands) {
        for (Row row : faults) {
            row.name = std::string(command.name) + "_" + row.name;
            row.command = &command;
            if (row.answeredBeforeVanishing > 0 && row.name.starts_with("identity"))
                row.answeredBeforeVanishing = 0; // its one command
            out.push_back(row);
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Xltctl, FaultTable, ::testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row> &row) { return row.param.name; });

// An update that needs its answer: none means no and sends nothing; "y" sends every block, waits
// out the device's first-stage copy and puts the new image in use.
TEST_F(Emulator, UpdateAsksThenSendsEveryBlockAndTheDeviceTakesTheImage)
{
    ASSERT_NO_FATAL_FAILURE(serve());
    const std::string image = updateFile("PR01 02340005", 300);
    write("fw.dpc", image);
    EXPECT_EQ(xltctl({"update", "fw.dpc"}), 1);
    EXPECT_NE(m_out.find(" File firmware version:      02.34\n"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find(" Target XLT firmware:    01.23\n"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("Send 300 blocks to the XLT device on COM129? [y/N]"), std::string::npos);
    EXPECT_NE(m_err.find("nothing was sent"), std::string::npos) << m_err;
    EXPECT_TRUE(model([](sim::DeviceModel &m) { return m.updateBlocks().empty(); }));

    EXPECT_EQ(xltctl({"update", "fw.dpc"}, "y\n"), 0) << m_err;
    EXPECT_NE(m_out.find("block 300/300"), std::string::npos);
    // The first-stage text and the outcome stand on lines of their own.
    EXPECT_NE(m_out.find("\n" + update::kFirstStageText + "\n"), std::string::npos) << m_out;
    EXPECT_TRUE(m_out.ends_with("\nUpdate complete\n")) << m_out;
    std::string received;
    for (const auto &block : model([](sim::DeviceModel &m) { return m.updateBlocks(); }))
        received.append(block.begin(), block.end());
    EXPECT_TRUE(received == image.substr(128)) << "every block, in order";
    EXPECT_EQ(xltctl({"identity"}), 0) << m_err;
    EXPECT_EQ(m_out, "PR01 02340005\n");
}

// Guarded updates: an interface (of the image or of the device) or an image firmware other than
// expected sends nothing and says which, with both values; all as expected, the update goes on.
TEST_F(Emulator, UpdateGuardsSendNothingToAnotherIdentity)
{
    sim::DeviceOptions options = healthy();
    options.identity = "SSP9 01000002";
    ASSERT_NO_FATAL_FAILURE(serve(options));
    write("pr.dpc", updateFile("PR01 02340005"));
    write("ssp.dpc", updateFile("SSP9 02340005"));
    const std::string asks = "\" but --expect-";
    const std::tuple<test::Args, std::string> refused[] = {
        {{"--expect-interface", "SSP9", "fw.dpc"},
         "xltctl update: the image is for interface \"NT00" + asks +
             "interface asks for \"SSP9\" (the device's is"},
        {{"--expect-interface=PR01", "pr.dpc"},
         "the device's interface is \"SSP9" + asks + "interface asks for \"PR01\" (the image's is"},
        {{"--expect-firmware", "02.35", "ssp.dpc"},
         "the image is firmware \"02.34" + asks +
             "firmware asks for \"02.35\" (the device runs "
             "\"01.00\"); nothing was sent\n"},
        {{"--expect-interface", "SSP9", "--expect-firmware", "0245", "ssp.dpc"}, "\"0234\" but"}};
    for (const auto &[args, told] : refused) {
        test::Args words{"update", "--yes"};
        words.insert(words.end(), args.begin(), args.end());
        EXPECT_EQ(xltctl(words), 1) << test::joined(args);
        EXPECT_NE(m_err.find(told), std::string::npos) << m_err;
        EXPECT_TRUE(model([](sim::DeviceModel &m) { return m.updateBlocks().empty(); }));
    }
    EXPECT_EQ(xltctl({"update", "--yes", "--expect-interface", "SSP9", "--expect-firmware", "0234",
                      "ssp.dpc"}),
              0)
        << m_err;
    EXPECT_EQ(xltctl({"identity"}), 0) << m_err;
    EXPECT_EQ(m_out, "SSP9 02340005\n");
}

// Fleet commands: every attached device at once, one report entry each, exit 0 only when every
// device succeeded. COM129 is healthy, COM130 refuses block 12 and fails config reads, COM131 is
// another interface.
TEST_F(Emulator, FleetCommandsReportEveryDeviceAndFailWhenOneFails)
{
    ASSERT_NO_FATAL_FAILURE(serve(healthy()));
    sim::DeviceOptions refusing = healthy();
    refusing.refuseBlock = 12;
    refusing.fault = sim::Fault::FailStatus;
    refusing.faultCode = link::kCmdReadConfig;
    sim::DeviceOptions other = healthy();
    other.identity = "SSP9 01000002";
    std::unique_ptr<sim::PtyServer> more[2];
    for (int i = 0; i < 2; ++i) {
        std::string error;
        more[i] = sim::PtyServer::start(i == 0 ? refusing : other, {registry}, error);
        ASSERT_TRUE(more[i]) << error;
    }
    write("pr.dpc", updateFile("PR01 02340005"));
    const auto report = [this] {
        return QJsonDocument::fromJson(QByteArray::fromStdString(m_out)).array();
    };

    EXPECT_EQ(xltctl({"identity", "--all"}), 0) << m_err;
    EXPECT_NE(m_out.find("COM131  "), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("  SSP9 01000002  ok  "), std::string::npos) << m_out;
    EXPECT_TRUE(m_out.ends_with("\n3 devices: 3 succeeded, 0 failed\n")) << m_out;
    EXPECT_EQ(xltctl({"--port", "COM129", "identity", "--all"}), 2);

    EXPECT_EQ(
        xltctl({"update", "--all", "--yes", "--json", "--expect-interface", "PR01", "pr.dpc"}), 1);
    const std::tuple<const char *, QJsonValue, QJsonValue, const char *> updates[] = {
        {"updated", "PR01 02.34 0005", QJsonValue(), ""},
        {"failed", QJsonValue(), 12, "block 13 of 20 (block number 12) was not accepted"},
        {"refused", QJsonValue(), QJsonValue(), "the device's interface is \"SSP9\""}};
    ASSERT_EQ(report().size(), 3) << m_out << m_err;
    for (int i = 0; i < 3; ++i) {
        const auto &[result, after, failedBlock, message] = updates[i];
        const QJsonObject device = report()[i].toObject();
        EXPECT_EQ(device["port"], QString("COM%1").arg(129 + i));
        EXPECT_EQ(device["result"], QLatin1String(result)) << i;
        EXPECT_EQ(device["identityAfter"], after) << i;
        EXPECT_EQ(device["failedBlock"], failedBlock) << i;
        EXPECT_EQ(device["message"].toString().left(int(strlen(message))), message) << i;
    }

    // Backups never replace one another; a device whose read fails (a failure status, not a
    // PR01 device) leaves no file.
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(xltctl({"config", "read", "--all", "--dir", "backups", "--json"}), 1) << m_err;
    for (const int i : {1, 2})
        EXPECT_EQ(report()[i].toObject()["result"], "failed") << m_out;
    EXPECT_EQ(QDir(QString::fromStdString(path("backups"))).entryList(QDir::Files).join(' '),
              "XLTSIM129-PR01-0234-0005-2.ufg XLTSIM129-PR01-0234-0005.ufg");
}

// --raw onto a full disk: told once, when it happens, with the reason (as a log file's failure
// is told); the run goes on and ends with 1, and the file holds the whole lines written before,
// which decode reads.
TEST_F(Emulator, RawRepliesOntoAFullDiskAreToldAndStayWholeLines)
{
    test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const std::string raw = fs.filePath("raw.txt").toStdString();
    ASSERT_TRUE(fs.fillLeaving(4096)); // five lines of a flood (765 bytes each)
    ASSERT_NO_FATAL_FAILURE(serve({.traffic = sim::TrafficLevel::Flood}));
    EXPECT_EQ(xltctl({"monitor", "--seconds", "2", "--log-dir", ".", "--raw", raw}), 1) << m_err;
    EXPECT_EQ(count(m_err, "could not be written"), 1u) << m_err;
    EXPECT_EQ(count(m_err, "xltctl: The capture file " + raw +
                               " could not be written: No space left on device\\x0A"),
              1u)
        << m_err;
    EXPECT_NE(m_out.find("label|host|PR01"), std::string::npos) << "the run went on to its end";
    const QByteArray kept = filesIn(fs.path()).at("raw.txt");
    EXPECT_EQ(kept.count('\n'), 5 + 5) << kept.toStdString(); // the header and five replies
    EXPECT_TRUE(kept.endsWith('\n'));
    EXPECT_EQ(xltctl({"decode", "--replies", raw}), 0) << m_err;
}

TEST_F(Emulator, DeviceAndFileBytesArePrintedEscaped)
{
    sim::DeviceOptions options = healthy();
    options.identity.assign("PR01\x1b]0;x\a1\0\233", 13); // \233: the C1 control 0x9B
    ASSERT_NO_FATAL_FAILURE(serve(options));
    write("escape.dpc", updateFile(std::string("\x1b[2J\0 \2331m\r\n\x1b[H", 13)));
    write("escape.txt", "35 01 00 00 00 01 7F\n\x1b]0;x\x07 AA\n");
    const std::string modNumber = R"(\x071\x00\x9B)"; // the device's bytes 9 to 12
    // Rows: arguments, a part of what is printed on stdout or stderr.
    const std::tuple<test::Args, std::string> rows[] = {
        {{"identity"}, "PR01\\x1B]0;x" + modNumber + "\n"},
        {{"options"}, " Target mod number:      " + modNumber + "\n"},
        {{"update", "escape.dpc"}, " File mod number:            \\x0D\\x0A\\x1B[\n"},
        {{"update", "--yes", "--verify", "escape.dpc"}, "the device reports \\x1B[2J "},
        {{"decode", "--replies", "escape.txt"}, "line 2: '\\x1B]0;x\\x07' is not hex"},
        {{"decode", "--frame", "\x1b[2J", "7F"}, "tag '\\x1B[2J' is not one"},
        {{"config", "\x1b[2J"}, "unknown subcommand '\\x1B[2J'"},
        {{"identity", "\x1b[2J"}, "unexpected argument '\\x1B[2J'"}};
    for (const auto &[arguments, shown] : rows) {
        SCOPED_TRACE(test::joined(arguments));
        xltctl(arguments);
        const std::string printed = m_out + m_err;
        EXPECT_NE(printed.find(shown), std::string::npos) << printed;
        EXPECT_EQ(printed.find('\x1b'), std::string::npos) << "a raw escape reached the terminal";
        EXPECT_EQ(printed.find('\0'), std::string::npos);
    }
}

} // namespace
