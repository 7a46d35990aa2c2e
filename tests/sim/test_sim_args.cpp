// xlt-sim's command line.
#include "Version.h"
#include "sim/SimArgs.h"

#include <QProcess>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using namespace xlt::sim;
using namespace std::chrono_literals;
using Options = const DeviceOptions &;

TEST(SimArgs, EachKindOfOptionReachesItsSwitchAndBadValuesAreRejected)
{
    const auto rejected = nullptr;
    // clang-format off
    const std::pair<std::vector<std::string>, std::function<bool(Options)>> cases[] = {
        {{}, [](Options d) { return !d.statePath.empty() && d.fault == Fault::None; }},
        {{"--state", "/x/s"}, [](Options d) { return d.statePath == "/x/s"; }},
        {{"--no-state"}, [](Options d) { return d.statePath.empty(); }},
        {{"--identity=ID003 0200"}, [](Options d) { return d.identity == "ID003 0200"; }},
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
        {{"--bogus"}, rejected}, {{"--traffic"}, rejected}, {{"--traffic", "loud"}, rejected},
        {{"--fault", "fire"}, rejected}, {{"--seed", "12x"}, rejected},
        {{"--fault-code", "256"}, rejected}, {{"--refuse-block", "-1"}, rejected},
        {{"--disconnect-after", "0"}, rejected}, {{"--pace=yes"}, rejected},
        {{"--unplug-after", "0"}, rejected},
        {{"--identity", std::string(256, 'A')}, rejected}, {{"--state", ""}, rejected}};
    // clang-format on
    for (const auto &[argv, holds] : cases) {
        SimArgs args;
        std::string error;
        const std::string name = argv.empty() ? "defaults" : argv.front();
        ASSERT_EQ(parseSimArgs(argv, args, error), bool(holds)) << name << ": " << error;
        EXPECT_EQ(error.empty(), bool(holds)) << name;
        EXPECT_TRUE(!holds || (holds(args.device) && !args.registryDir.empty())) << name;
    }
}

// What the parser decides: both spellings of a value, repeats (the later one counts, in the
// order given), values that look like options, bytes of any value; and refusals, whose one-line
// reason names the word at fault.
TEST(SimArgs, ParserTakesValuesInOrderAndNamesWhatItRefuses)
{
    using Check = std::function<bool(Options)>;
    const std::pair<std::vector<std::string>, Check> accepted[] = {
        {{"--seed=5"}, [](Options d) { return d.trafficSeed == 5; }},
        {{"--seed", "5"}, [](Options d) { return d.trafficSeed == 5; }},
        {{"--copy-ms=0x10"}, [](Options d) { return d.firstStageCopy == 16ms; }},
        {{"--seed", "1", "--seed=2"}, [](Options d) { return d.trafficSeed == 2; }},
        {{"--state", "/a", "--no-state"}, [](Options d) { return d.statePath.empty(); }},
        {{"--no-state", "--state", "/a"}, [](Options d) { return d.statePath == "/a"; }},
        {{"--fault=bad-crc", "--fault", "none"}, [](Options d) { return d.fault == Fault::None; }},
        {{"--identity", "--pace"}, [](Options d) { return d.identity == "--pace" && !d.pace9600; }},
        {{"--identity="}, [](Options d) { return d.identity.empty(); }},
        {{"--identity=a=b"}, [](Options d) { return d.identity == "a=b"; }},
        {{"--identity", "\xC4\xFF\x01"}, [](Options d) { return d.identity == "\xC4\xFF\x01"; }},
        {{"--pace", "--pace"}, [](Options d) { return d.pace9600; }},
    };
    for (const auto &[argv, holds] : accepted) {
        SimArgs args;
        std::string error;
        EXPECT_TRUE(parseSimArgs(argv, args, error) && holds(args.device)) << argv.front() << error;
    }
    // Rows: arguments, a part of the reason.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--bogus"}, "--bogus"},
        {{"--bogus=1"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"--seed"}, "--seed"},
        {{"--no-state", "--seed"}, "--seed"},
        {{"--pace=yes"}, "--pace"},
        {{"--seed", "1x"}, "--seed: 1x"},
        {{"foo"}, "'foo'"},
        {{"--no-state", "extra"}, "'extra'"},
        {{""}, "''"},
    };
    for (const auto &[argv, named] : refused) {
        SimArgs args;
        std::string error;
        EXPECT_FALSE(parseSimArgs(argv, args, error)) << argv.back();
        EXPECT_NE(error.find(named), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    // --help and -h ask for the usage, --version for the version: the caller prints them.
    SimArgs args;
    std::string error;
    EXPECT_TRUE(parseSimArgs({"-h"}, args, error) && args.help && !args.version);
    EXPECT_TRUE(parseSimArgs({"--version"}, args, error) && args.version && !args.help);
}

TEST(SimArgs, ProgramPrintsItsHelpAndRefusesUnknownOptions)
{
    const auto run = [](const QString &argument) {
        QProcess process;
        process.start(QStringLiteral(XLT_BINARY_DIR "/sim/xlt-sim"), {argument});
        EXPECT_TRUE(process.waitForFinished(10000)) << "xlt-sim did not finish";
        const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
        return std::pair(process.exitCode(), output.toStdString());
    };
    const auto [helpCode, usage] = run("--help");
    EXPECT_EQ(helpCode, 0);
    std::istringstream options(
        "--identity --state --no-state --registry --traffic --stray-bytes --seed --bad-crc-traffic "
        "--detect-all "
        "--fetch-flag-7 --detect-status --detect-fail --refuse-block --disconnect-block "
        "--timeout-block --copy-ms --keep-identity --fault --fault-code --fail-status "
        "--disconnect-after --unplug-after --pace "
        "--help");
    for (std::string option; options >> option;)
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_EQ(run("--bogus").first, 2);
    EXPECT_EQ(run("-h"), std::pair(0, usage));
    EXPECT_EQ(run("--version"),
              std::pair(0, "xlt-sim " + std::string(xlt::app::kVersionText) + "\n"));
    const auto [code, refusal] = run("--seed");
    EXPECT_EQ(code, 2);
    EXPECT_EQ(refusal, "xlt-sim: missing value after '--seed' (see --help)\n");
}
