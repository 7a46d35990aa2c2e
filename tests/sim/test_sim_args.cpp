// xlt-sim's command line.
#include "sim/SimArgs.h"

#include <gtest/gtest.h>

#include <functional>

using namespace xlt::sim;
using namespace std::chrono_literals;

TEST(SimArgs, Defaults)
{
    SimArgs args;
    std::string error;
    ASSERT_TRUE(parseSimArgs({}, args, error)) << error;
    EXPECT_FALSE(args.help);
    EXPECT_FALSE(args.device.statePath.empty());
    EXPECT_FALSE(args.registryDir.empty());
    EXPECT_EQ(args.device.identity, "PR01 01230001");
    EXPECT_EQ(args.device.traffic, TrafficLevel::Normal);
    EXPECT_EQ(args.device.fault, Fault::None);
}

TEST(SimArgs, EachOptionReachesItsSwitch)
{
    struct Case
    {
        std::vector<std::string> args;
        std::function<bool(const SimArgs &)> holds;
    };
    const Case cases[] = {
        {{"--state", "/x/s"}, [](const SimArgs &a) { return a.device.statePath == "/x/s"; }},
        {{"--state=/x/s"}, [](const SimArgs &a) { return a.device.statePath == "/x/s"; }},
        {{"--no-state"}, [](const SimArgs &a) { return a.device.statePath.empty(); }},
        {{"--registry", "/r"}, [](const SimArgs &a) { return a.registryDir == "/r"; }},
        {{"--identity", "ID003 0200"},
         [](const SimArgs &a) { return a.device.identity == "ID003 0200"; }},
        {{"--traffic", "flood"},
         [](const SimArgs &a) { return a.device.traffic == TrafficLevel::Flood; }},
        {{"--traffic", "quiet"},
         [](const SimArgs &a) { return a.device.traffic == TrafficLevel::Quiet; }},
        {{"--stray-bytes"}, [](const SimArgs &a) { return a.device.strayBytes; }},
        {{"--seed", "77"}, [](const SimArgs &a) { return a.device.trafficSeed == 77; }},
        {{"--detect-all"}, [](const SimArgs &a) { return a.device.detectAllAtOnce; }},
        {{"--fetch-flag-7"}, [](const SimArgs &a) { return a.device.fetchReportsAll; }},
        {{"--detect-status", "15"}, [](const SimArgs &a) { return a.device.detectTarget == 15; }},
        {{"--detect-fail"}, [](const SimArgs &a) { return a.device.detectStatusFails; }},
        {{"--refuse-block", "300"}, [](const SimArgs &a) { return a.device.refuseBlock == 300; }},
        {{"--disconnect-block", "0"},
         [](const SimArgs &a) { return a.device.disconnectAtBlock == 0; }},
        {{"--timeout-block", "12"}, [](const SimArgs &a) { return a.device.timeoutAtBlock == 12; }},
        {{"--copy-ms", "100"}, [](const SimArgs &a) { return a.device.firstStageCopy == 100ms; }},
        {{"--fault", "bad-crc"}, [](const SimArgs &a) { return a.device.fault == Fault::BadCrc; }},
        {{"--fault", "garbage"},
         [](const SimArgs &a) { return a.device.fault == Fault::GarbageBefore; }},
        {{"--fault-code", "0x10"}, [](const SimArgs &a) { return a.device.faultCode == 16; }},
        {{"--fail-status", "9"}, [](const SimArgs &a) { return a.device.failStatus == 9; }},
        {{"--disconnect-after", "5"},
         [](const SimArgs &a) { return a.device.disconnectAfter == 5; }},
        {{"--pace"}, [](const SimArgs &a) { return a.device.pace9600; }},
        {{"-h"}, [](const SimArgs &a) { return a.help; }},
    };
    for (const Case &c : cases) {
        SimArgs args;
        std::string error;
        ASSERT_TRUE(parseSimArgs(c.args, args, error)) << c.args.front() << ": " << error;
        EXPECT_TRUE(c.holds(args)) << c.args.front();
    }
}

TEST(SimArgs, RejectsBadInput)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},          {"--traffic"},          {"--traffic", "loud"},
        {"--fault", "fire"},  {"--fault-code", "256"}, {"--refuse-block", "-1"},
        {"--seed", "12x"},    {"--disconnect-after", "0"}, {"--pace=yes"},
        {"--identity", std::string(256, 'A')},        {"--state", ""},
    };
    for (const auto &args : bad) {
        SimArgs parsed;
        std::string error;
        EXPECT_FALSE(parseSimArgs(args, parsed, error)) << args.front();
        EXPECT_FALSE(error.empty()) << args.front();
    }
}

TEST(SimArgs, HelpDocumentsEveryOption)
{
    const std::string usage = simUsage();
    for (const char *option :
         {"--identity", "--state", "--no-state", "--registry", "--traffic", "--stray-bytes",
          "--seed", "--detect-all", "--fetch-flag-7", "--detect-status", "--detect-fail",
          "--refuse-block", "--disconnect-block", "--timeout-block", "--copy-ms", "--fault",
          "--fault-code", "--fail-status", "--disconnect-after", "--pace", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}
