// xlt-sim's command line.
#include "sim/SimArgs.h"

#include <functional>
#include <gtest/gtest.h>

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
    // One row per kind of option: text, "=" form, choice, flag, plain number, hexadecimal
    // number, optional number, milliseconds.
    const Case cases[] = {
        {{"--state", "/x/s"}, [](const SimArgs &a) { return a.device.statePath == "/x/s"; }},
        {{"--no-state"}, [](const SimArgs &a) { return a.device.statePath.empty(); }},
        {{"--identity=ID003 0200"},
         [](const SimArgs &a) { return a.device.identity == "ID003 0200"; }},
        {{"--traffic", "flood"},
         [](const SimArgs &a) { return a.device.traffic == TrafficLevel::Flood; }},
        {{"--fault", "garbage"},
         [](const SimArgs &a) { return a.device.fault == Fault::GarbageBefore; }},
        {{"--stray-bytes"}, [](const SimArgs &a) { return a.device.strayBytes; }},
        {{"--detect-status", "15"}, [](const SimArgs &a) { return a.device.detectTarget == 15; }},
        {{"--fault-code", "0x10"}, [](const SimArgs &a) { return a.device.faultCode == 16; }},
        {{"--refuse-block", "300"}, [](const SimArgs &a) { return a.device.refuseBlock == 300; }},
        {{"--copy-ms", "100"}, [](const SimArgs &a) { return a.device.firstStageCopy == 100ms; }},
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
        {"--bogus"},
        {"--traffic"},
        {"--traffic", "loud"},
        {"--fault", "fire"},
        {"--fault-code", "256"},
        {"--refuse-block", "-1"},
        {"--seed", "12x"},
        {"--disconnect-after", "0"},
        {"--pace=yes"},
        {"--identity", std::string(256, 'A')},
        {"--state", ""},
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
}
