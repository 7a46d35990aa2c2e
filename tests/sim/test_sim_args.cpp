// xlt-sim's command line.
#include "sim/SimArgs.h"

#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

using namespace xlt::sim;
using namespace std::chrono_literals;
using Options = const DeviceOptions &;

// Each kind of option reaches its switch; both spellings of a value, repeats (the later one
// counts, in the order given), values that look like options and bytes of any value are taken.
TEST(SimArgs, OptionsReachTheirSwitchesInOrder)
{
    // clang-format off
    const std::pair<std::vector<std::string>, std::function<bool(Options)>> cases[] = {
        {{}, [](Options d) { return !d.statePath.empty() && d.fault == Fault::None; }},
        {{"--state", "/x/s"}, [](Options d) { return d.statePath == "/x/s"; }},
        {{"--traffic", "flood"}, [](Options d) { return d.traffic == TrafficLevel::Flood; }},
        {{"--fault", "garbage"}, [](Options d) { return d.fault == Fault::GarbageBefore; }},
        {{"--stray-bytes"}, [](Options d) { return d.strayBytes; }},
        {{"--bad-crc-traffic", "7"}, [](Options d) { return d.badCrcEvery == 7; }},
        {{"--keep-identity"}, [](Options d) { return d.keepIdentity; }},
        {{"--detect-status", "15"}, [](Options d) { return d.detectTarget == 15; }},
        {{"--fault-code", "0x10"}, [](Options d) { return d.faultCode == 16; }},
        {{"--refuse-block", "300"}, [](Options d) { return d.refuseBlock == 300; }},
        {{"--copy-ms", "100"}, [](Options d) { return d.firstStageCopy == 100ms; }},
        {{"--unplug-after", "2"}, [](Options d) { return d.unplugAfter == 2; }},
        {{"--seed=5"}, [](Options d) { return d.trafficSeed == 5; }},
        {{"--copy-ms=0x10"}, [](Options d) { return d.firstStageCopy == 16ms; }},
        {{"--seed", "1", "--seed=2"}, [](Options d) { return d.trafficSeed == 2; }},
        {{"--state", "/a", "--no-state"}, [](Options d) { return d.statePath.empty(); }},
        {{"--no-state", "--state", "/a"}, [](Options d) { return d.statePath == "/a"; }},
        {{"--identity", "--pace"}, [](Options d) { return d.identity == "--pace" && !d.pace9600; }},
        {{"--identity="}, [](Options d) { return d.identity.empty(); }},
        {{"--identity=a=b"}, [](Options d) { return d.identity == "a=b"; }},
        {{"--identity", "\xC4\xFF\x01"}, [](Options d) { return d.identity == "\xC4\xFF\x01"; }},
        {{"--pace", "--pace"}, [](Options d) { return d.pace9600; }},
    };
    // clang-format on
    for (const auto &[argv, holds] : cases) {
        SimArgs args;
        std::string error;
        const std::string name = argv.empty() ? "defaults" : argv.front();
        EXPECT_TRUE(parseSimArgs(argv, args, error) && holds(args.device) && error.empty()) << name;
        EXPECT_FALSE(args.registryDir.empty()) << name;
    }
    // --help and -h ask for the usage, --version for the version: the caller prints them.
    SimArgs args;
    std::string error;
    EXPECT_TRUE(parseSimArgs({"-h"}, args, error) && args.help && !args.version);
    EXPECT_TRUE(parseSimArgs({"--version"}, args, error) && args.version && !args.help);
}

// Refusals: a reason of one line that names the word at fault.
TEST(SimArgs, BadWordsAndValuesAreRefusedByName)
{
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--bogus"}, "--bogus"},
        {{"--bogus=1"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"--seed"}, "--seed"},
        {{"--traffic", "loud"}, "--traffic: loud"},
        {{"--fault", "fire"}, "--fault: fire"},
        {{"--seed", "1x"}, "--seed: 1x"},
        {{"--fault-code", "256"}, "--fault-code: 256"},
        {{"--refuse-block", "-1"}, "--refuse-block: -1"},
        {{"--disconnect-after", "0"}, "--disconnect-after: 0"},
        {{"--unplug-after", "0"}, "--unplug-after: 0"},
        {{"--identity", std::string(256, 'A')}, "--identity"},
        {{"--state", ""}, "--state"},
        {{"--serial", "A 1"}, "--serial: A 1"},
        {{"--pace=yes"}, "--pace"},
        {{"foo"}, "'foo'"},
        {{""}, "''"},
    };
    for (const auto &[argv, named] : refused) {
        SimArgs args;
        std::string error;
        EXPECT_FALSE(parseSimArgs(argv, args, error)) << argv.back();
        EXPECT_NE(error.find(named), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(SimArgs, ProgramPrintsItsHelpAndRefusesUnknownOptions)
{
    const auto run = [](const QString &argument) {
        QProcess process;
        process.start(QStringLiteral(XLT_BINARY_DIR "/sim/xlt-sim"), {argument});
        EXPECT_TRUE(process.waitForFinished(20000)) << "xlt-sim did not finish";
        const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
        return std::pair(process.exitCode(), output.toStdString());
    };
    const auto [helpCode, usage] = run("-h"); // --help and --version: tests/install
    EXPECT_EQ(helpCode, 0);
    EXPECT_NE(usage.find("--unplug-after"), std::string::npos) << usage;
    EXPECT_EQ(run("--bogus").first, 2);
    EXPECT_EQ(run("--seed"),
              std::pair(2, std::string("xlt-sim: missing value after '--seed' (see --help)\n")));
}
