#include "EmulatedDevice.h"
#include "pr01/AutoDetect.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>

using namespace xlt;
using namespace xlt::pr01;
using Texts = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

namespace {

/// Records each item as fetched: V version, B boot version, C currency rows (32 raw bytes),
/// and which poll fetched it: `polls` gets a new entry at each pause before a poll.
struct ItemLog final : AutoDetectSink
{
    void versionDetected(const std::string &text) override { add('V', text); }
    void bootVersionDetected(const std::string &text) override { add('B', text); }
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override
    {
        add('C', std::string(rows.begin(), rows.end()));
    }
    void add(char item, const std::string &value)
    {
        items.emplace_back(item, value);
        if (!polls.empty())
            polls.back() += item;
    }
    std::vector<std::pair<char, std::string>> items;
    Texts polls;
};

/// What one detection reported to its owner.
struct Detection
{
    bool launched = false;
    std::optional<bool> started;
    int ended = 0;
};

/// Runs a detection on a line that runs at once: it has ended when this returns.
Detection runDetection(AutoDetect &detect)
{
    Detection run;
    run.launched = detect.start([&run](bool ok) { run.started = ok; }, [&run] { ++run.ended; });
    return run;
}

} // namespace

TEST(AutoDetect, EachDeviceBehaviour)
{
    // Rows: the items fetched by each poll (an item fetched twice would show), and the poll
    // before which Abort is pressed (0: detection ends by itself after the last poll).
    const std::tuple<const char *, sim::DeviceOptions, Texts, std::size_t> rows[] = {
        {"fetch byte 0 its own flag", {.detectAllAtOnce = true}, {"V", "B", "C", ""}, 0},
        {"fetch byte 0 is 7", {.detectAllAtOnce = true, .fetchReportsAll = true}, {"VBC"}, 0},
        {"one more item per status", {}, {"V", "B", "C", ""}, 0},
        {"status 3", {.detectAllAtOnce = true, .detectTarget = 3}, {"V", "B", "", "", ""}, 5},
        {"status 15",
         {.detectAllAtOnce = true, .detectTarget = 15},
         {"V", "B", "C", "", "", ""},
         6}};
    for (const auto &[label, options, polls, abortBefore] : rows) {
        SCOPED_TRACE(label);
        test::EmulatedDevice device(options);
        sim::DetectedConfig &d = device.model.options().detected; // replies of 1 and 17 bytes
        d.version = "";
        d.bootVersion = {"BOOT\0V1.00 12345", 16};
        const std::map<char, std::string> detected = {
            {'V', d.version}, {'B', d.bootVersion}, {'C', {d.currency.begin(), d.currency.end()}}};
        ItemLog log;
        AutoDetect detect(device.context, log);
        // Between polls: the device is held and the port open; polling has been reported.
        device.pauses.onPause = [&, abortBefore = abortBefore] {
            log.polls.emplace_back();
            EXPECT_EQ(device.context.holder, AutoDetect::kHolderName);
            EXPECT_TRUE(device.inProcess.isOpen());
            EXPECT_TRUE(detect.running() && !detect.starting());
            if (log.polls.size() == abortBefore)
                detect.abort(); // the poll after it still polls and fetches, then ends
        };
        for (const int attempt : {1, 2}) { // a new start clears the abort and the items read
            log = {};
            device.pauses.delays.clear();
            const Detection run = runDetection(detect);
            EXPECT_TRUE(run.launched && run.started == true && run.ended == 1) << attempt;
            EXPECT_EQ(log.polls, polls) << attempt;
            for (const auto &[item, value] : log.items)
                EXPECT_EQ(value, detected.at(item)) << item; // the reply bytes from byte 1 on
            EXPECT_EQ(device.pauses.delays, std::vector<long long>(polls.size(), 100));
            EXPECT_FALSE(device.inProcess.isOpen());
            EXPECT_TRUE(device.context.holder.empty());
            EXPECT_FALSE(detect.running());
        }
        EXPECT_TRUE(device.notifier.messages.empty());
    }
}

// A failing poll (the status, or a fetch) ends detection with its one message. (Failures before
// polling: the fault table's config_detect rows, tests/cli.)
TEST(AutoDetect, FailingPollEndsItWithOneMessage)
{
    const std::tuple<sim::DeviceOptions, std::string> rows[] = {
        {{.fault = sim::Fault::FailStatus, .faultCode = 22},
         "XLT Command transmission error PACKET ERROR"},
        {{.fault = sim::Fault::NoReply, .faultCode = 23},
         "XLT Command transmission error COMMAND TIME_OUT"}};
    for (const auto &[options, message] : rows) {
        SCOPED_TRACE(message);
        test::EmulatedDevice device(options);
        ItemLog log;
        AutoDetect detect(device.context, log);
        const Detection run = runDetection(detect);
        EXPECT_TRUE(run.launched && run.started == true && run.ended == 1);
        EXPECT_EQ(device.pauses.delays.size(), 1u); // the first poll fails
        EXPECT_EQ(device.notifier.texts(), Texts{message});
        EXPECT_TRUE(log.items.empty());
        EXPECT_FALSE(device.inProcess.isOpen());
        EXPECT_TRUE(device.context.holder.empty());
    }
}

// A currency reply too short for the eight rows ends detection with a message: no row is
// filled from bytes left by earlier replies.
TEST(AutoDetect, ShortCurrencyReplyEndsDetection)
{
    test::FakeDevice device;
    device.link.replies = {{link::ReplyOk, {'P', 'R', '0', '1'}}, // identity
                           {link::ReplyOk, {}},                   // start
                           {link::ReplyOk, {4}},                  // status: the currency rows
                           {link::ReplyOk, Bytes(32, 0x33)}};
    ItemLog log;
    AutoDetect detect(device.context, log);
    const Detection run = runDetection(detect);
    EXPECT_TRUE(run.started == true && run.ended == 1);
    EXPECT_TRUE(log.items.empty());
    EXPECT_EQ(device.notifier.texts(),
              Texts{"The XLT device sent 32 bytes for the currency assignment instead of 33. "
                    "Detection was ended."});
    EXPECT_EQ(device.codes(), (Bytes{16, 20, 22, 23}));
    EXPECT_FALSE(device.link.isOpen);
    EXPECT_EQ(device.context.holder, "");
}

// Abort and the closing window (stop) pressed while a reply is on its way. Abort counts from
// the start on, also while the device has not answered the start: detection then polls once
// and ends. Stop ends it at once: the reply is dropped, nothing more is sent or reported, the
// port is closed behind it and the device free at once.
TEST(AutoDetect, ButtonsPressedWhileAReplyIsOnItsWay)
{
    // Rows: the command during whose exchange the button is pressed, Abort (or stop), the
    // commands sent, whether polling was reported as started, the items reported.
    const std::tuple<const char *, std::uint8_t, bool, Bytes, std::optional<bool>, std::size_t>
        rows[] = {{"Abort during the start", 20, true, {16, 20, 22, 23}, true, 1},
                  {"Abort during a poll", 22, true, {16, 20, 22, 23}, true, 1},
                  {"stop during the start", 20, false, {16, 20}, std::nullopt, 0},
                  {"stop during a poll", 22, false, {16, 20, 22}, true, 0}};
    for (const auto &[label, during, abort, sent, started, items] : rows) {
        SCOPED_TRACE(label);
        test::FakeDevice device;
        ItemLog log;
        AutoDetect detect(device.context, log);
        bool pressed = false;
        device.link.responder = [&, during = during,
                                 abort = abort](const Bytes &command) -> test::FakeLink::Reply {
            if (command[0] == during && !pressed) {
                pressed = true;
                if (abort) {
                    detect.abort();
                } else {
                    detect.stop();
                    EXPECT_EQ(device.context.holder, "");
                    EXPECT_FALSE(detect.running());
                }
            }
            if (command[0] == 16)
                return {link::ReplyOk, {'P', 'R', '0', '1'}};
            return {link::ReplyOk, {command[0] == 22 ? std::uint8_t{1} : std::uint8_t{0}}}; // V
        };
        // A lost Abort would poll on for ever: the test ends it after a few polls.
        device.pauses.onPause = [&] {
            if (device.pauses.delays.size() > 3)
                detect.stop();
        };
        const Detection run = runDetection(detect);
        EXPECT_EQ(device.codes(), sent);
        EXPECT_EQ(run.started, started);
        EXPECT_EQ(run.ended, abort ? 1 : 0); // a stopped detection reports nothing more
        EXPECT_EQ(log.items.size(), items);  // the poll's fetch (the version) still reported
        EXPECT_TRUE(device.notifier.messages.empty());
        EXPECT_FALSE(device.link.isOpen);
        EXPECT_EQ(device.context.holder, "");
    }
}
