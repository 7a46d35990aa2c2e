// xlt-sim's command line.
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
        {{"--bogus"}, rejected}, {{"--traffic"}, rejected}, {{"--traffic", "loud"}, rejected},
        {{"--fault", "fire"}, rejected}, {{"--seed", "12x"}, rejected},
        {{"--fault-code", "256"}, rejected}, {{"--refuse-block", "-1"}, rejected},
        {{"--disconnect-after", "0"}, rejected}, {{"--pace=yes"}, rejected},
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
        "--disconnect-after --pace "
        "--help");
    for (std::string option; options >> option;)
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_EQ(run("--bogus").first, 2);
}
