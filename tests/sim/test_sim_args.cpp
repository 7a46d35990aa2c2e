// xlt-sim's command line.
#include "sim/SimArgs.h"

#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

using namespace xlt::sim;
using namespace std::chrono_literals;
using Options = const DeviceOptions &;

TEST(SimArgs, EachKindOfOptionReachesItsSwitch)
{
    const std::pair<std::vector<std::string>, std::function<bool(Options)>> cases[] = {
        {{}, [](Options d) { return !d.statePath.empty() && d.fault == Fault::None; }},
        {{"--state", "/x/s"}, [](Options d) { return d.statePath == "/x/s"; }},
        {{"--no-state"}, [](Options d) { return d.statePath.empty(); }},
        {{"--identity=ID003 0200"}, [](Options d) { return d.identity == "ID003 0200"; }},
        {{"--traffic", "flood"}, [](Options d) { return d.traffic == TrafficLevel::Flood; }},
        {{"--fault", "garbage"}, [](Options d) { return d.fault == Fault::GarbageBefore; }},
        {{"--stray-bytes"}, [](Options d) { return d.strayBytes; }},
        {{"--detect-status", "15"}, [](Options d) { return d.detectTarget == 15; }},
        {{"--fault-code", "0x10"}, [](Options d) { return d.faultCode == 16; }},
        {{"--refuse-block", "300"}, [](Options d) { return d.refuseBlock == 300; }},
        {{"--copy-ms", "100"}, [](Options d) { return d.firstStageCopy == 100ms; }}};
    for (const auto &[argv, holds] : cases) {
        SimArgs args;
        std::string error;
        const std::string name = argv.empty() ? "defaults" : argv.front();
        ASSERT_TRUE(parseSimArgs(argv, args, error)) << name << ": " << error;
        EXPECT_TRUE(holds(args.device) && !args.help && !args.registryDir.empty()) << name;
    }
}

TEST(SimArgs, RejectsBadInput)
{
    const std::vector<std::string> bad[] = {{"--bogus"},
                                            {"--traffic"},
                                            {"--traffic", "loud"},
                                            {"--fault", "fire"},
                                            {"--seed", "12x"},
                                            {"--fault-code", "256"},
                                            {"--refuse-block", "-1"},
                                            {"--disconnect-after", "0"},
                                            {"--pace=yes"},
                                            {"--identity", std::string(256, 'A')},
                                            {"--state", ""}};
    for (const auto &argv : bad) {
        SimArgs args;
        std::string error;
        EXPECT_FALSE(parseSimArgs(argv, args, error)) << argv.front();
        EXPECT_FALSE(error.empty()) << argv.front();
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
    for (const char *option : {"--identity",
                               "--state",
                               "--no-state",
                               "--registry",
                               "--traffic",
                               "--stray-bytes",
                               "--seed",
                               "--detect-all",
                               "--fetch-flag-7",
                               "--detect-status",
                               "--detect-fail",
                               "--refuse-block",
                               "--disconnect-block",
                               "--timeout-block",
                               "--copy-ms",
                               "--fault",
                               "--fault-code",
                               "--fail-status",
                               "--disconnect-after",
                               "--pace",
                               "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    const auto [badCode, message] = run("--bogus");
    EXPECT_EQ(badCode, 2);
    EXPECT_EQ(message.rfind("xlt-sim: ", 0), 0u) << message;
}
