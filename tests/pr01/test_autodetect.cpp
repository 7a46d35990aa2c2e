#include "EmulatedDevice.h"
#include "pr01/AutoDetect.h"

#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::pr01;

namespace {

/// Records the items in the order of arrival, as the window would show them.
struct ItemLog final : AutoDetectSink
{
    void versionDetected(const std::string &text) override
    {
        add("version");
        texts.version = text;
    }
    void bootVersionDetected(const std::string &text) override
    {
        add("boot");
        texts.bootVersion = text;
    }
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override
    {
        add("currency");
        decodeCurrencyRows(rows, texts);
    }
    void add(const char *item) { order.push_back(item); }
    Pr01Texts texts;
    std::vector<std::string> order;
};

sim::DeviceOptions behaviour(bool allAtOnce, bool fetchReportsAll, std::uint8_t target)
{
    sim::DeviceOptions options;
    options.detectAllAtOnce = allAtOnce;
    options.fetchReportsAll = fetchReportsAll;
    options.detectTarget = target;
    return options;
}

sim::DeviceOptions withFault(sim::Fault fault, std::uint8_t code)
{
    sim::DeviceOptions options;
    options.fault = fault;
    options.faultCode = code;
    return options;
}

sim::DeviceOptions withIdentity(const std::string &identity)
{
    sim::DeviceOptions options;
    options.identity = identity;
    return options;
}

} // namespace

TEST(AutoDetect, EachDeviceBehaviour)
{
    using Ticks = std::vector<std::vector<std::string>>; // items fetched by each tick
    const Ticks oneByOne = {{"version"}, {"boot"}, {"currency"}, {}};
    const struct
    {
        const char *label;
        sim::DeviceOptions options;
        Ticks ticks;
        bool ends; // whether the last tick ends the detection
    } rows[] = {
        {"status 7, fetch byte 0 its own flag", behaviour(true, false, 7), oneByOne, true},
        {"status 7, fetch byte 0 is 7", behaviour(true, true, 7), {{"version", "boot", "currency"}}, true},
        {"one more item per status", behaviour(false, false, 7), oneByOne, true},
        {"status 3", behaviour(true, false, 3), {{"version"}, {"boot"}, {}, {}}, false},
        {"status 15", behaviour(true, false, 15), {{"version"}, {"boot"}, {"currency"}, {}, {}}, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        test::EmulatedDevice device(row.options);
        ItemLog log;
        AutoDetect detect(device.context, log);
        ASSERT_TRUE(detect.start());
        EXPECT_EQ(device.context.holder, AutoDetect::kHolderName);
        for (std::size_t tick = 0; tick < row.ticks.size(); ++tick) {
            log.order.clear();
            EXPECT_EQ(detect.tick(), !row.ends || tick + 1 < row.ticks.size()) << tick;
            EXPECT_EQ(log.order, row.ticks[tick]) << tick;
        }
        EXPECT_EQ(device.inProcess.isOpen(), !row.ends);
        if (!row.ends) { // aborted: the next tick still polls, then ends
            detect.abort();
            EXPECT_FALSE(detect.tick());
        }
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_TRUE(device.context.holder.empty());
        EXPECT_TRUE(device.notifier.messages.empty());
        for (const std::uint8_t item : {1, 2, 4})
            EXPECT_LE(device.link.count({23, item}), 1);
    }
}

TEST(AutoDetect, FetchedTextsAreReplyBytesOneOn)
{
    sim::DeviceOptions options = behaviour(true, true, 7);
    options.detected.version = "";                                       // ReplyLength 1
    options.detected.bootVersion = std::string("BOOT\0V1.00 12345", 16); // ReplyLength 17
    test::EmulatedDevice device(options);
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    EXPECT_FALSE(detect.tick());
    EXPECT_EQ(log.texts.version, "");
    EXPECT_EQ(log.texts.bootVersion, options.detected.bootVersion);
    EXPECT_EQ((std::array{log.texts.code[1], log.texts.denom[1], log.texts.exp[7]}),
              (std::array<std::string, 3>{"62", "0A", "02"}));
}

TEST(AutoDetect, FailedExchangesEndWithOneMessage)
{
    const struct
    {
        const char *label;
        sim::DeviceOptions options;
        bool starts;
        std::string message;
    } rows[] = {
        {"other firmware", withIdentity("PR03 0100"), false, "XLT Firmware PR03 0100 is not PR01 compatable."},
        {"start refused", withFault(sim::Fault::FailStatus, 20), false,
         "XLT Command transmission error PACKET ERROR"},
        {"status refused", withFault(sim::Fault::FailStatus, 22), true,
         "XLT Command transmission error PACKET ERROR"},
        {"fetch unanswered", withFault(sim::Fault::NoReply, 23), true,
         "XLT Command transmission error COMMAND TIME_OUT"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        test::EmulatedDevice device(row.options);
        ItemLog log;
        AutoDetect detect(device.context, log);
        EXPECT_EQ(detect.start(), row.starts);
        if (row.starts) {
            EXPECT_FALSE(detect.tick());
        }
        EXPECT_FALSE(detect.tick()); // nothing more once it has ended
        EXPECT_EQ(device.notifier.texts(), std::vector<std::string>{row.message});
        EXPECT_TRUE(log.order.empty());
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_TRUE(device.context.holder.empty());
    }
}

TEST(AutoDetect, StopAndRestart)
{
    test::EmulatedDevice device;
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    detect.abort();
    detect.stop(); // the window closes: the port closes at once
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.context.holder.empty());

    ASSERT_TRUE(detect.start()); // a new start clears the abort request and the items read
    EXPECT_TRUE(detect.tick());
    EXPECT_EQ(log.order, std::vector<std::string>{"version"});
}
