#include "EmulatedDevice.h"
#include "pr01/AutoDetect.h"

#include <gtest/gtest.h>

#include <optional>

using namespace xlt;
using namespace xlt::pr01;

namespace {

/// Records each item as the window would show it, in the order of arrival.
struct ItemLog final : AutoDetectSink
{
    void versionDetected(const std::string &text) override
    {
        version = text;
        order.push_back("version");
    }
    void bootVersionDetected(const std::string &text) override
    {
        bootVersion = text;
        order.push_back("boot");
    }
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override
    {
        currency.emplace();
        decodeCurrencyRows(rows, *currency);
        order.push_back("currency");
    }
    std::optional<std::string> version;
    std::optional<std::string> bootVersion;
    std::optional<Pr01Texts> currency;
    std::vector<std::string> order;
};

struct Behaviour
{
    const char *label;
    bool allAtOnce;
    bool fetchReportsAll;
    std::uint8_t target;
    /// Items fetched by each tick until detection ends; a tick that ends it is marked "end".
    std::vector<std::vector<std::string>> ticks;
    bool ends;
};

sim::DeviceOptions optionsFor(const Behaviour &b)
{
    sim::DeviceOptions options;
    options.detectAllAtOnce = b.allAtOnce;
    options.fetchReportsAll = b.fetchReportsAll;
    options.detectTarget = b.target;
    return options;
}

const std::vector<std::uint8_t> kFetchVersion{23, 1};
const std::vector<std::uint8_t> kFetchBoot{23, 2};
const std::vector<std::uint8_t> kFetchCurrency{23, 4};

} // namespace

TEST(AutoDetect, EachDeviceBehaviour)
{
    const Behaviour rows[] = {
        {"status 7, fetch replies carry their own flag", true, false, 7,
         {{"version"}, {"boot"}, {"currency"}, {}}, true},
        {"status 7, fetch replies carry 7", true, true, 7, {{"version", "boot", "currency"}}, true},
        {"items reported one per status", false, false, 7,
         {{"version"}, {"boot"}, {"currency"}, {}}, true},
        {"status 3 never ends", true, false, 3, {{"version"}, {"boot"}, {}, {}, {}}, false},
        {"status 15 never ends", true, false, 15,
         {{"version"}, {"boot"}, {"currency"}, {}, {}}, false},
    };
    for (const Behaviour &row : rows) {
        SCOPED_TRACE(row.label);
        test::EmulatedDevice device(optionsFor(row));
        ItemLog log;
        AutoDetect detect(device.context, log);
        ASSERT_TRUE(detect.start());
        EXPECT_EQ(device.context.holder, AutoDetect::kHolderName);
        for (std::size_t tick = 0; tick < row.ticks.size(); ++tick) {
            log.order.clear();
            const bool last = tick + 1 == row.ticks.size();
            EXPECT_EQ(detect.tick(), !(last && row.ends)) << "tick " << tick;
            EXPECT_EQ(log.order, row.ticks[tick]) << "tick " << tick;
        }
        EXPECT_EQ(detect.running(), !row.ends);
        EXPECT_EQ(device.inProcess.isOpen(), !row.ends);
        // An item already fetched is never fetched again in the same detection.
        for (const auto &fetch : {kFetchVersion, kFetchBoot, kFetchCurrency})
            EXPECT_LE(device.link.count(fetch), 1);
        EXPECT_TRUE(device.notifier.messages.empty());

        if (!row.ends) {
            detect.abort();
            EXPECT_FALSE(detect.tick());
            EXPECT_FALSE(device.inProcess.isOpen());
        }
        EXPECT_TRUE(device.context.holder.empty());
    }
}

TEST(AutoDetect, ItemsArriveAsTheDeviceReportsThem)
{
    sim::DeviceOptions options;
    options.detectAllAtOnce = true;
    options.fetchReportsAll = true;
    options.detected.version = "";                          // fetch reply of length 1
    options.detected.bootVersion = std::string("BOOT\0V1.00 12345", 16); // length 17, a zero kept
    test::EmulatedDevice device(options);
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    EXPECT_FALSE(detect.tick());
    EXPECT_EQ(log.version, "");
    EXPECT_EQ(log.bootVersion, options.detected.bootVersion);
    ASSERT_TRUE(log.currency);
    EXPECT_EQ(log.currency->code[0], "61");
    EXPECT_EQ(log.currency->denom[1], "0A");
    EXPECT_EQ(log.currency->exp[7], "02");
    EXPECT_EQ(detect.itemsRead(), AutoDetect::kAllItems);
    EXPECT_EQ(device.link.sent.front(), std::vector<std::uint8_t>{16});
    EXPECT_EQ(device.link.sent[1], std::vector<std::uint8_t>{20});
}

TEST(AutoDetect, AbortEndsAfterTheNextTicksFetches)
{
    test::EmulatedDevice device;
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    EXPECT_TRUE(detect.tick());
    detect.abort();
    EXPECT_FALSE(detect.tick());
    EXPECT_EQ(log.order, (std::vector<std::string>{"version", "boot"}));
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.context.holder.empty());

    // The next start clears the request.
    ASSERT_TRUE(detect.start());
    EXPECT_FALSE(detect.abortRequested());
    EXPECT_EQ(detect.itemsRead(), 0);
    EXPECT_TRUE(detect.tick());
}

TEST(AutoDetect, FailedStatusEndsWithOneMessage)
{
    sim::DeviceOptions options;
    options.detectStatusFails = true;
    test::EmulatedDevice device(options);
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    EXPECT_FALSE(detect.tick());
    EXPECT_EQ(device.notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
    EXPECT_FALSE(detect.running());
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.context.holder.empty());
    EXPECT_FALSE(detect.tick()); // nothing more is sent once it has ended
    EXPECT_EQ(device.link.count({22}), 1);
}

TEST(AutoDetect, FailedFetchEndsAfterTheItemsBeforeIt)
{
    sim::DeviceOptions options;
    options.detectAllAtOnce = true;
    options.fetchReportsAll = true;
    options.fault = sim::Fault::NoReply;
    options.faultCode = 23;
    test::EmulatedDevice device(options);
    ItemLog log;
    AutoDetect detect(device.context, log);
    ASSERT_TRUE(detect.start());
    EXPECT_FALSE(detect.tick());
    EXPECT_TRUE(log.order.empty());
    EXPECT_EQ(detect.itemsRead(), 0);
    EXPECT_EQ(device.notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});
    EXPECT_FALSE(device.inProcess.isOpen());
}

TEST(AutoDetect, StartThatFailsLeavesNothingHeldOrOpen)
{
    const auto noChange = [](test::EmulatedDevice &) {};
    const struct
    {
        const char *label;
        sim::DeviceOptions (*options)();
        void (*arrange)(test::EmulatedDevice &);
        std::vector<std::string> messages;
        int startCommands;
    } rows[] = {
        {"no device", [] { return sim::DeviceOptions{}; },
         [](test::EmulatedDevice &d) { d.ports.records.clear(); }, {"No XLT device detected"}, 0},
        {"other firmware",
         [] {
             sim::DeviceOptions o;
             o.identity = "PR03 0100";
             return o;
         },
         noChange, {"XLT Firmware PR03 0100 is not PR01 compatable."}, 0},
        {"start command refused",
         [] {
             sim::DeviceOptions o;
             o.fault = sim::Fault::FailStatus;
             o.faultCode = 20;
             return o;
         },
         noChange, {"XLT Command transmission error PACKET ERROR"}, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.label);
        test::EmulatedDevice device(row.options());
        row.arrange(device);
        ItemLog log;
        AutoDetect detect(device.context, log);
        EXPECT_FALSE(detect.start());
        EXPECT_FALSE(detect.running());
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_TRUE(device.context.holder.empty());
        EXPECT_EQ(device.notifier.texts(), row.messages);
        EXPECT_EQ(device.link.count({20}), row.startCommands);
    }
}

TEST(AutoDetect, RefusedWhileTheMonitorHoldsTheDevice)
{
    test::EmulatedDevice device;
    link::DeviceHold monitor(device.context, "traffic monitor");
    ItemLog log;
    AutoDetect detect(device.context, log);
    EXPECT_FALSE(detect.start());
    EXPECT_EQ(device.notifier.texts(),
              std::vector<std::string>{
                  "The XLT device is in use by the traffic monitor. Stop it first, then try again."});
    EXPECT_TRUE(device.link.sent.empty());
    EXPECT_EQ(device.context.holder, "traffic monitor");
}

TEST(AutoDetect, PortThatDoesNotOpenForDetectionIsSilent)
{
    test::FakeLink fake;
    fake.responder = [&fake](const std::vector<std::uint8_t> &command) {
        if (command[0] == 16)
            fake.openSucceeds = false; // the identity read works, the next open fails
        return test::FakeLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
    };
    test::FakePortSource ports;
    ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    link::DeviceContext context(fake, ports, notifier, pump);
    ItemLog log;
    AutoDetect detect(context, log);
    EXPECT_FALSE(detect.start());
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(context.holder.empty());
    EXPECT_EQ(fake.sent.size(), 1u);
}

TEST(AutoDetect, StopClosesThePortAtOnce)
{
    test::EmulatedDevice device;
    ItemLog log;
    {
        AutoDetect detect(device.context, log);
        ASSERT_TRUE(detect.start());
        EXPECT_TRUE(detect.tick());
        EXPECT_TRUE(device.inProcess.isOpen());
    } // the window closes while detection runs
    EXPECT_FALSE(device.inProcess.isOpen());
    EXPECT_TRUE(device.context.holder.empty());
}
