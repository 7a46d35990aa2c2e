// xltctl's command line as a program sees it: --help and --version, each command's help, the
// usage errors (exit code 2, a reason naming the word at fault, nothing on stdout), and the
// device choice --port / --device in every place and spelling, against the emulator on a pty.
#include "Version.h"
#include "sim/PtyServer.h"
#include "support/RunXltctl.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xlt;

namespace {

struct Row
{
    QStringList args;
    int code;
    std::string out; ///< a part of stdout; empty: nothing on stdout
    std::string err; ///< a part of stderr; empty: nothing on stderr
};

class CommandLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        server = sim::PtyServer::start({}, {registry.path().toStdString()}, error);
        ASSERT_TRUE(server) << error;
        com = QStringLiteral("COM%1").arg(server->comPortNumber());
        node = QString::fromStdString(server->devicePath());
    }

    void check(const Row &row)
    {
        const auto [code, out, err] =
            test::runXltctl(registry.path(), registry.path() + "/config", row.args);
        const std::string name = row.args.join(' ').toStdString();
        EXPECT_EQ(code, row.code) << name << ": " << err;
        EXPECT_EQ(out.empty(), row.out.empty()) << name << ": " << out;
        EXPECT_NE(out.find(row.out), std::string::npos) << name << ": " << out;
        EXPECT_EQ(err.empty(), row.err.empty()) << name << ": " << err;
        EXPECT_NE(err.find(row.err), std::string::npos) << name << ": " << err;
        if (row.code == 2 && !err.empty()) { // one line of reason, then the usage
            EXPECT_EQ(err.substr(err.find('\n') + 1).rfind("usage: xltctl", 0), 0u) << err;
        }
    }

    QTemporaryDir registry;
    std::unique_ptr<sim::PtyServer> server;
    QString com;
    QString node;
};

TEST_F(CommandLine, HelpAndVersion)
{
    const std::string version = std::string("xltctl ") + app::kVersionText + "\n";
    const Row rows[] = {
        {{"--help"}, 0, "usage: xltctl <command> [arguments]", ""},
        {{"-h"}, 0, "usage: xltctl <command> [arguments]", ""},
        {{"--version"}, 0, version, ""},
        {{}, 2, "", "xltctl: missing command\nusage: xltctl <command> [arguments]"},
        {{"--port", "COM5"}, 2, "", "xltctl: missing command\n"},
    };
    for (const Row &row : rows)
        check(row);
    for (const char *command :
         {"ports", "identity", "decode", "monitor", "config", "update", "options"}) {
        const std::string usage = std::string("usage: xltctl ") + command;
        check({{command, "--help"}, 0, usage, ""});
        check({{command, "-h"}, 0, usage, ""});
        check({{command, "--json", "--help"}, 0, usage, ""}); // help wins over a wrong word
    }
}

TEST_F(CommandLine, UsageErrorsNameTheWordAtFault)
{
    const Row rows[] = {
        {{"--bogus"}, 2, "", "xltctl: unknown option '--bogus'\n"},
        {{"bogus"}, 2, "", "xltctl: unknown command 'bogus'\n"},
        {{"--port"}, 2, "", "xltctl: missing value after '--port'\n"},
        {{"identity", "--bogus"}, 2, "", "xltctl identity: unknown option '--bogus'\n"},
        {{"identity", "-x"}, 2, "", "xltctl identity: unknown option '-x'\n"},
        {{"identity", "extra"}, 2, "", "xltctl identity: unexpected argument 'extra'\n"},
        {{"identity", "--json=yes"}, 2, "", "unexpected value after '--json'\n"},
        {{"identity", "--port"}, 2, "", "xltctl identity: missing value after '--port'\n"},
        {{"ports", "--json", "extra"}, 2, "", "xltctl ports: unexpected argument 'extra'\n"},
        {{"monitor", "--seconds"}, 2, "", "missing value after '--seconds'\n"},
        {{"monitor", "--seconds=x"}, 2, "", "whole number of seconds, not 'x'\n"},
        {{"monitor", "now"}, 2, "", "xltctl monitor: unexpected argument 'now'\n"},
        {{"options", "--drive", "ttl", "--drive", "opto"}, 2, "", "--drive given more than once"},
        {{"options", "--drive=fast"}, 2, "", "--drive takes ttl or opto, not 'fast'"},
        {{"config", "read", "--ufg", "a", "--ufg=b"}, 2, "", "--ufg given more than once"},
        {{"config", "read", "--seconds", "5"}, 2, "", "read takes only --ufg FILE and --json"},
        {{"config", "detect", "--seconds=3601"}, 2, "", "detect takes --seconds N"},
        {{"config", "diff"}, 2, "", "diff takes FILE.ufg"},
        {{"update"}, 2, "", "xltctl update: missing FILE.dpc\n"},
        {{"update", "a.dpc", "b.dpc"}, 2, "", "xltctl update: unexpected argument 'b.dpc'\n"},
        {{"decode", "--frame", "--replies"}, 2, "", "say --frame or --replies, not both"},
        {{"decode", "--frame", "35", "7F", "--check"}, 2, "", "go with --replies"},
        {{"decode", "--replies", "a", "b"}, 2, "", "xltctl decode: unexpected argument 'b'\n"},
    };
    for (const Row &row : rows)
        check(row);
    EXPECT_EQ(server->withModel([](sim::DeviceModel &m) { return m.commandCount(); }), 0);
}

// --port COMn and --device PATH pick the device before the command, among its words or after
// them, as --port X and --port=X; the last one given counts.
TEST_F(CommandLine, DeviceChoiceInEveryPlace)
{
    const std::string talking = "talking to the XLT device on " + com.toStdString();
    const std::string identity = "PR01 01230001\n";
    const std::string none = "No XLT device detected";
    const QString elsewhere = QStringLiteral("COM5");
    const Row rows[] = {
        {{"identity", "--port", com}, 0, identity, talking},
        {{"identity", "--port=" + com.toLower()}, 0, identity, talking},
        {{"--port", com, "identity"}, 0, identity, talking},
        {{"--device=" + node, "identity"}, 0, identity, talking},
        {{"--port", elsewhere, "--device", node, "identity"}, 0, identity, talking},
        {{"identity", "--json", "--device", node}, 0, "\"mod\": \"0001\"", talking},
        {{"identity", "--port", elsewhere}, 3, "", none},
        {{"identity", "--port", elsewhere, "--port", com}, 0, identity, talking},
        {{"identity", "--port", com, "--device", "/dev/none"}, 3, "", none},
        {{"--port", elsewhere, "identity", "--port", com}, 0, identity, talking},
        {{"--port", com, "identity", "--port", elsewhere}, 3, "", none},
        {{"config", "--port", com, "read", "--json"}, 0, "\"bootVersion\"", talking},
        {{"ports", "--port", elsewhere}, 0, "XLT device: none", ""},
        {{"decode", "--port", elsewhere, "--frame", "35", "7F 80 01 07"}, 0, "CMD", ""},
        {{"options", "--drive=ttl", "--port", elsewhere}, 3, "", none},
    };
    for (const Row &row : rows)
        check(row);
}

} // namespace
