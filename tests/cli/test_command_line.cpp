// xltctl's command line as a program sees it: --help and --version, each command's help, the
// usage errors and refused files (exit code 2, a reason naming the word or file at fault, nothing
// on stdout, nothing sent to the device), and the device choice --port / --device in every place
// and spelling, against the emulator on a pty.
#include "Version.h"
#include "core/FileIo.h"
#include "pr01/ConfigBlock.h"
#include "pr01/UfgFile.h"
#include "support/XltctlRig.h"

#include <sys/stat.h>

using namespace xlt;

namespace {

struct Row
{
    test::Args args;
    int code;
    std::string out; ///< a part of stdout; empty: nothing on stdout
    std::string err; ///< a part of stderr; empty: nothing on stderr
};

class CommandLine : public test::XltctlTest
{
protected:
    void check(const Row &row)
    {
        const auto [code, out, err] = run(row.args);
        const std::string name = test::joined(row.args);
        EXPECT_EQ(code, row.code) << name << ": " << err;
        EXPECT_EQ(out.empty(), row.out.empty()) << name << ": " << out;
        EXPECT_NE(out.find(row.out), std::string::npos) << name << ": " << out;
        EXPECT_EQ(err.empty(), row.err.empty()) << name << ": " << err;
        EXPECT_NE(err.find(row.err), std::string::npos) << name << ": " << err;
        if (row.code == 2 && !err.empty()) { // one line of reason, then the usage
            EXPECT_EQ(err.substr(err.find('\n') + 1).rfind("usage: xltctl", 0), 0u) << err;
        }
    }
    int commands()
    {
        return model([](sim::DeviceModel &m) { return m.commandCount(); });
    }
    pr01::ConfigBlock block()
    {
        return model([](sim::DeviceModel &m) { return m.configBlock(); });
    }
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
        {{"options", "-h"}, 0, "usage: xltctl options", ""},
        {{"update", "--json", "--help"}, 0, "usage: xltctl update", ""}, // help wins
    };
    for (const Row &row : rows)
        check(row);
    for (const char *command :
         {"ports", "identity", "decode", "monitor", "config", "update", "options"})
        check({{command, "--help"}, 0, std::string("usage: xltctl ") + command, ""});
}

TEST_F(CommandLine, UsageErrorsNameTheWordAtFault)
{
    const Row rows[] = {
        {{"--bogus"}, 2, "", "xltctl: unknown option '--bogus'\n"},
        {{"bogus"}, 2, "", "xltctl: unknown command 'bogus'\n"},
        {{"--port"}, 2, "", "xltctl: missing value after '--port'\n"},
        {{"identity", "-x"}, 2, "", "xltctl identity: unknown option '-x'\n"},
        {{"identity", "extra"}, 2, "", "xltctl identity: unexpected argument 'extra'\n"},
        {{"identity", "--json=yes"}, 2, "", "unexpected value after '--json'\n"},
        {{"identity", "--port"}, 2, "", "xltctl identity: missing value after '--port'\n"},
        {{"ports", "--json", "extra"}, 2, "", "xltctl ports: unexpected argument 'extra'\n"},
        {{"monitor", "--seconds=x"}, 2, "", "whole number of seconds, not 'x'\n"},
        {{"monitor", "now"}, 2, "", "xltctl monitor: unexpected argument 'now'\n"},
        {{"options", "--drive", "ttl", "--drive", "opto"}, 2, "", "--drive given more than once"},
        {{"options", "--drive=fast"}, 2, "", "--drive takes ttl or opto, not 'fast'"},
        {{"config"}, 2, "", "xltctl config: missing subcommand"},
        {{"config", "write"}, 2, "", "write takes one FILE.ufg"},
        {{"config", "read", "--ufg", "a", "--ufg=b"}, 2, "", "--ufg given more than once"},
        {{"config", "read", "--seconds", "5"}, 2, "", "read takes only --ufg FILE and --json"},
        {{"config", "detect", "--seconds", "0"}, 2, "", "detect takes --seconds N"},
        {{"config", "detect", "--seconds=3601"}, 2, "", "detect takes --seconds N"},
        {{"config", "diff"}, 2, "", "diff takes FILE.ufg"},
        {{"config", "read", "--all"}, 2, "", "or --all, --dir FOLDER and --json"},
        {{"config", "read", "--all", "--dir", "d", "--ufg", "f"}, 2, "", "read takes only"},
        {{"update"}, 2, "", "xltctl update: missing FILE.dpc\n"},
        {{"update", "a.dpc", "b.dpc"}, 2, "", "xltctl update: unexpected argument 'b.dpc'\n"},
        {{"decode", "--frame", "--replies"}, 2, "", "say --frame or --replies, not both"},
        {{"decode", "--frame", "35", "7F", "--check"}, 2, "", "go with --replies"},
        {{"decode", "--replies", "a", "b"}, 2, "", "xltctl decode: unexpected argument 'b'\n"},
    };
    for (const Row &row : rows)
        check(row);
    EXPECT_EQ(commands(), 0);
}

pr01::Pr01Texts wanted()
{
    pr01::Pr01Texts texts = pr01::Pr01Texts::initial();
    texts.version = "ID003 V9";
    texts.bootVersion = "BOOT-9";
    texts.country[3] = "2A";
    return texts;
}

// Files that hold no whole configuration or no update image give exit code 2 and reach nothing
// of the device; a whole configuration (its sections in any order) is written, and read back
// into a file of any name.
TEST_F(CommandLine, OnlyAWholeConfigurationIsWrittenAndReadBack)
{
    const std::string whole = pr01::ufgText(wanted());
    std::string noise(700, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 31 % 256);
    pr01::Pr01Texts tooBig = wanted();
    pr01::Pr01Texts notHex = wanted();
    pr01::Pr01Texts escape = wanted();
    pr01::Pr01Texts tooLong = wanted();
    tooBig.code[0] = "100";
    notHex.country[3] = "zz";
    escape.exp[0] = "\x1b[2J";
    tooLong.version.assign(65, 'V');
    const std::string zz = write("zz.ufg", pr01::ufgText(notHex));
    const std::string zzNamed = "zz.ufg line 21: Row 3 Country 'zz' is not a hexadecimal byte";
    const std::string large = write("large.dpc", "XLT");
    ASSERT_EQ(::truncate(large.c_str(), 128 + 128 * 32768 + 1), 0);
    const pr01::ConfigBlock before = block();
    // Rows: arguments, what stderr names.
    const std::pair<test::Args, std::string> refused[] = {
        {{"config", "write", write("empty.ufg", "")}, "Cannot open config file"},
        {{"config", "write", write("update.dpc", "XLT" + std::string(2197, '\0'))}, "complete"},
        {{"config", "write", write("noise.ufg", noise)}, "complete"},
        {{"config", "write", write("cut.ufg", "[VERSION D")}, "complete"},
        {{"config", "write", write("two.ufg", whole.substr(0, whole.find("[CURRENCY")))},
         "complete"},
        {{"config", "write", write("short.ufg", whole.substr(0, whole.size() - 6))}, "complete"},
        {{"config", "write", path("missing.ufg")}, "Cannot open config file"},
        {{"config", "write", "/dev/zero"}, "Cannot open config file"},
        {{"config", "write", write("big.ufg", pr01::ufgText(tooBig))},
         "xltctl config: " + path("big.ufg") +
             " line 8: Row 0 Code '100' is not a hexadecimal byte (00 to FF)\n"},
        {{"config", "write", zz}, zzNamed},
        {{"config", "diff", write("whole.ufg", whole), zz}, zzNamed},
        {{"config", "write", write("escape.ufg", pr01::ufgText(escape))},
         "line 11: Row 0 Exp '\\x1B[2J'"},
        {{"config", "diff", write("long.ufg", pr01::ufgText(tooLong))}, "at most 64"},
        {{"update", "--yes", large}, "the file is larger than 4194432 bytes"},
        {{"update", "--yes", "/dev/zero"}, "not a regular file"},
        {{"update", "--yes", "."}, "not a regular file"},
    };
    for (const auto &[args, named] : refused) {
        const test::Outcome outcome = run(args);
        EXPECT_EQ(outcome.code, 2) << test::joined(args) << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(named), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "") << test::joined(args);
    }
    EXPECT_EQ(commands(), 0);
    EXPECT_EQ(block(), before);

    const std::size_t boot = whole.find("[BOOT VERSION]");
    const std::size_t currency = whole.find("[CURRENCY ASSIG DATA]");
    write("\u20acuro.ufg",
          whole.substr(currency) + whole.substr(boot, currency - boot) + whole.substr(0, boot));
    const test::Outcome written = run({"config", "write", "\u20acuro.ufg"});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(block(), *pr01::encodeConfigBlock(wanted()).block);
    const std::string saved = "\u0416\u0443\u0440\u043d\u0430\u043b.ufg";
    const test::Outcome read = run({"config", "read", "--ufg", saved});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_NE(read.out.find("Row  Code  Country  Demonination  Exp"), std::string::npos);
    pr01::Pr01Texts texts = pr01::Pr01Texts::initial();
    ASSERT_TRUE(pr01::applyUfgSections(*pr01::readUfgFile(path(saved)), texts).whole());
    EXPECT_EQ(texts, pr01::decodeConfigBlock(block()));
}

// --port COMn and --device PATH pick the device before the command, among its words or after
// them, as --port X and --port=X; the last one given counts.
TEST_F(CommandLine, DeviceChoiceInEveryPlace)
{
    const std::string com = "COM" + std::to_string(server->comPortNumber());
    const std::string node = server->devicePath();
    const std::string talking = "talking to the XLT device on " + com;
    const std::string identity = "PR01 01230001\n";
    const std::string elsewhere = "COM5";
    const std::string none = "xltctl: no port COM5; the ports are " + com + " (" + node + ")";
    const Row rows[] = {
        {{"identity", "--port=com" + com.substr(3)}, 0, identity, talking},
        {{"--port", com, "identity"}, 0, identity, talking},
        {{"--device=" + node, "identity"}, 0, identity, talking},
        {{"--port", elsewhere, "--device", node, "identity"}, 0, identity, talking},
        {{"identity", "--json", "--device", node}, 0, R"("mod": "0001")", talking},
        {{"identity", "--port", elsewhere, "--port", com}, 0, identity, talking},
        {{"identity", "--port", com, "--device", "/dev/none"}, 3, "", "no port /dev/none;"},
        {{"--port", elsewhere, "identity", "--port", com}, 0, identity, talking},
        {{"--port", com, "identity", "--port", elsewhere}, 3, "", none},
        {{"config", "--port", com, "read", "--json"}, 0, "\"bootVersion\"", talking},
        {{"ports", "--port", elsewhere}, 3, "", none},
        {{"decode", "--port", elsewhere, "--frame", "35", "7F 80 01 07"}, 0, "CMD", ""},
        {{"options", "--drive=ttl", "--port", elsewhere}, 3, "", none},
    };
    for (const Row &row : rows)
        check(row);
}

} // namespace
