#include "EmulatedDevice.h"
#include "pr01/AutoDetect.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>

using namespace xlt;
using namespace xlt::pr01;
using Texts = std::vector<std::string>;

namespace {

/// Records each item as fetched: V version, B boot version, C currency rows (32 raw bytes).
struct ItemLog final : AutoDetectSink
{
    void versionDetected(const std::string &text) override { items.emplace_back('V', text); }
    void bootVersionDetected(const std::string &text) override { items.emplace_back('B', text); }
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override
    {
        items.emplace_back('C', std::string(rows.begin(), rows.end()));
    }
    std::vector<std::pair<char, std::string>> items;
};

/// Start and tick through the emulator's in-process line: each has finished when it returns.
bool startDetect(AutoDetect &detect)
{
    std::optional<bool> started;
    detect.start([&started](bool ok) { started = ok; });
    EXPECT_TRUE(started.has_value());
    return started.value_or(false);
}

bool tickDetect(AutoDetect &detect)
{
    std::optional<bool> again;
    detect.tick([&again](bool more) { again = more; });
    EXPECT_TRUE(again.has_value());
    return again.value_or(false);
}

} // namespace

TEST(AutoDetect, EachDeviceBehaviour)
{
    // Rows: the items fetched by each tick (an item fetched twice would show), and whether the
    // last tick ends the detection by itself.
    const std::tuple<const char *, sim::DeviceOptions, Texts, bool> rows[] = {
        {"fetch byte 0 its own flag", {.detectAllAtOnce = true}, {"V", "B", "C", ""}, true},
        {"fetch byte 0 is 7", {.detectAllAtOnce = true, .fetchReportsAll = true}, {"VBC"}, true},
        {"one more item per status", {}, {"V", "B", "C", ""}, true},
        {"status 3", {.detectAllAtOnce = true, .detectTarget = 3}, {"V", "B", "", ""}, false},
        {"status 15",
         {.detectAllAtOnce = true, .detectTarget = 15},
         {"V", "B", "C", "", ""},
         false}};
    for (const auto &[label, options, ticks, ends] : rows) {
        SCOPED_TRACE(label);
        test::EmulatedDevice device(options);
        sim::DetectedConfig &d = device.model.options().detected; // replies of 1 and 17 bytes
        d.version = "";
        d.bootVersion = {"BOOT\0V1.00 12345", 16};
        const std::map<char, std::string> detected = {
            {'V', d.version}, {'B', d.bootVersion}, {'C', {d.currency.begin(), d.currency.end()}}};
        ItemLog log;
        AutoDetect detect(device.context, log);
        for (const int run : {1, 2}) { // a new start clears the abort request and the items read
            ASSERT_TRUE(startDetect(detect));
            EXPECT_EQ(device.context.holder, AutoDetect::kHolderName);
            for (std::size_t tick = 0; tick < ticks.size(); ++tick) {
                log.items.clear();
                EXPECT_EQ(tickDetect(detect), !ends || tick + 1 < ticks.size()) << run << tick;
                std::string order;
                for (const auto &[item, value] : log.items) {
                    order += item;
                    EXPECT_EQ(value, detected.at(item)) << item; // the reply bytes from byte 1 on
                }
                EXPECT_EQ(order, ticks[tick]) << run << tick;
            }
            EXPECT_EQ(device.inProcess.isOpen(), !ends);
            detect.abort(); // the next tick still polls, then ends
            EXPECT_FALSE(!ends && tickDetect(detect));
            EXPECT_FALSE(device.inProcess.isOpen());
            EXPECT_TRUE(device.context.holder.empty());
        }
        EXPECT_TRUE(device.notifier.messages.empty());
    }
}

TEST(AutoDetect, FailuresEndItWithOneMessageAtMost)
{
    const std::string packetError = "XLT Command transmission error PACKET ERROR";
    // Rows: options, no port listed, starts, messages.
    const std::tuple<sim::DeviceOptions, bool, bool, Texts> rows[] = {
        {{}, true, false, {"No XLT device detected"}},
        {{.unplugged = true}, false, false, {}},
        {{.fault = sim::Fault::FailStatus, .faultCode = 20}, false, false, {packetError}},
        {{.fault = sim::Fault::FailStatus, .faultCode = 22}, false, true, {packetError}},
        {{.fault = sim::Fault::NoReply, .faultCode = 23},
         false,
         true,
         {"XLT Command transmission error COMMAND TIME_OUT"}}};
    for (const auto &[options, noPort, starts, messages] : rows) {
        SCOPED_TRACE(messages.empty() ? "unplugged" : messages[0]);
        test::EmulatedDevice device(options);
        if (noPort)
            device.ports.records.clear();
        ItemLog log;
        AutoDetect detect(device.context, log);
        EXPECT_EQ(startDetect(detect), starts);
        EXPECT_FALSE(starts && tickDetect(detect)); // the first tick fails
        EXPECT_FALSE(tickDetect(detect));           // nothing more once it has ended
        EXPECT_EQ(device.notifier.texts(), messages);
        EXPECT_TRUE(log.items.empty());
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_TRUE(device.context.holder.empty());
    }
}

// A currency reply too short for the eight rows ends detection with a message: no row is
// filled from bytes left by earlier replies.
TEST(AutoDetect, ShortCurrencyReplyEndsDetection)
{
    test::FakeLink link;
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    test::RecordingNotifier notifier;
    test::ImmediateScheduler scheduler;
    link::DeviceContext context{link, ports, notifier, scheduler};
    link.replies = {{link::ReplyOk, {'P', 'R', '0', '1'}}, // identity
                    {link::ReplyOk, {}},                   // start
                    {link::ReplyOk, {4}},                  // status: the currency rows
                    {link::ReplyOk, std::vector<std::uint8_t>(32, 0x33)}};
    ItemLog log;
    AutoDetect detect(context, log);
    ASSERT_TRUE(startDetect(detect));
    EXPECT_FALSE(tickDetect(detect));
    EXPECT_TRUE(log.items.empty());
    EXPECT_EQ(notifier.texts(), Texts{"The XLT device sent 32 bytes for the currency assignment "
                                      "instead of 33. Detection was ended."});
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(context.holder, "");
}

// Stopped while a request is in flight (the window closed): the result is dropped, the port
// closed behind it and the device free at once.
TEST(AutoDetect, StopWithARequestInFlight)
{
    test::FakeLink fake;
    test::ManualLine line(fake);
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    test::RecordingNotifier notifier;
    test::ImmediateScheduler scheduler;
    link::DeviceContext context{line, ports, notifier, scheduler};
    fake.replies = {
        {link::ReplyOk, {'P', 'R', '0', '1'}}, {link::ReplyOk, {}}, {link::ReplyOk, {7}}};
    ItemLog log;
    AutoDetect detect(context, log);
    std::optional<bool> started;
    detect.start([&started](bool ok) { started = ok; });
    EXPECT_TRUE(detect.starting());
    EXPECT_EQ(context.holder, AutoDetect::kHolderName);
    line.runAll();
    ASSERT_EQ(started, true);
    std::optional<bool> again;
    detect.tick([&again](bool more) { again = more; });
    detect.stop();
    EXPECT_EQ(context.holder, "");
    line.runAll();
    EXPECT_FALSE(again.has_value());
    EXPECT_TRUE(log.items.empty());
    EXPECT_FALSE(fake.isOpen);
}
