#include "UpdateFixture.h"

#include <algorithm>

using namespace xlt;
using update::UpdateResult;

namespace {

struct Updater : test::DeviceFixture
{
    test::RecordingSink sink;
    update::Updater updater{device, sink};

    /// The labels shown before each block was sent, in order.
    std::vector<std::string> labelsAtSend;
    std::vector<long long> pausedAtSend;

    void recordSends()
    {
        link.responder = [this](const std::vector<std::uint8_t> &) {
            labelsAtSend.push_back(sink.label);
            pausedAtSend.push_back(pump.pumpedMs);
            return test::FakeLink::Reply{};
        };
    }
};

TEST_F(Updater, CommandBytesCarryBlockNumberLowByteFirstAndTheBlock)
{
    const auto image = test::imageOf(300);
    const auto outcome = updater.run(image);
    ASSERT_EQ(outcome.result, UpdateResult::Complete);
    ASSERT_EQ(link.sent.size(), 300u);
    const struct
    {
        int n;
        std::uint8_t low, high;
    } cases[] = {{0, 0, 0}, {255, 255, 0}, {256, 0, 1}, {299, 43, 1}};
    for (const auto &c : cases) {
        const auto &command = link.sent[static_cast<std::size_t>(c.n)];
        ASSERT_EQ(command.size(), 131u) << c.n;
        EXPECT_EQ(command[0], 21) << c.n;
        EXPECT_EQ(command[1], c.low) << c.n;
        EXPECT_EQ(command[2], c.high) << c.n;
        const auto block = image.block(c.n);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), command.begin() + 3)) << c.n;
    }
    // The port is opened and closed around every block.
    EXPECT_EQ(link.openCalls, 300);
    EXPECT_EQ(link.closeCalls, 300);
    EXPECT_EQ(link.openedPort, 5);
}

TEST(BlockLabel, Texts)
{
    const struct
    {
        int n, numBlocks;
        const char *text;
    } cases[] = {
        {0, 1, "Updating XLT - Block 1 of 1"},
        {11, 528, "Updating XLT - Block 12 of 528"},
        {254, 255, "Updating XLT - Block 255 of 255"},
        {255, 256, "Please wait while first stage memory is copied - DO NOT DISCONNECT!"},
        {256, 300, "Updating XLT - Block 257 of 300"},
        {299, 300, "Updating XLT - Block 300 of 300"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(update::blockLabel(c.n, c.numBlocks), c.text);
}

struct RunCase
{
    int numBlocks;
    long long pauseMs;
};

class UpdaterRuns : public Updater, public ::testing::WithParamInterface<RunCase>
{
};

TEST_P(UpdaterRuns, LabelsBarAndPause)
{
    const RunCase c = GetParam();
    recordSends();
    const auto outcome = updater.run(test::imageOf(c.numBlocks));
    ASSERT_EQ(outcome.result, UpdateResult::Complete);
    ASSERT_EQ(labelsAtSend.size(), static_cast<std::size_t>(c.numBlocks));
    for (int n = 0; n < c.numBlocks; ++n) {
        const auto i = static_cast<std::size_t>(n);
        EXPECT_EQ(labelsAtSend[i], update::blockLabel(n, c.numBlocks));
        // The pause comes only after block 255, before block 256.
        EXPECT_EQ(pausedAtSend[i], n <= 255 ? 0 : 3000) << n;
    }
    EXPECT_EQ(pump.pumpedMs, c.pauseMs);
    EXPECT_EQ(pump.calls, c.numBlocks); // events run before every block
    EXPECT_EQ(sink.label, "Update complete");
    EXPECT_EQ(sink.maximum, c.numBlocks);
    EXPECT_EQ(sink.value, 0);
    EXPECT_FALSE(sink.busy);
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_TRUE(device.holder.empty());
}

INSTANTIATE_TEST_SUITE_P(BlockCounts, UpdaterRuns,
                         ::testing::Values(RunCase{1, 0}, RunCase{255, 0}, RunCase{256, 3000},
                                           RunCase{300, 3000}),
                         [](const auto &param) { return std::to_string(param.param.numBlocks); });

TEST_F(Updater, RefusedFirstBlockStopsWithEmptyLabelAndBar)
{
    link.replies.push_back({link::PacketError, {}});
    const auto outcome = updater.run(test::imageOf(300));
    EXPECT_EQ(outcome.result, UpdateResult::BlockFailed);
    EXPECT_EQ(outcome.failedBlock, 0);
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(sink.label, "");
    EXPECT_EQ(sink.value, 0);
    EXPECT_FALSE(sink.busy);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error PACKET ERROR"});
    EXPECT_TRUE(device.holder.empty());
}

TEST_F(Updater, PortThatDoesNotOpenStopsSilentlyAtThatBlock)
{
    int opens = 0;
    link.responder = [&](const std::vector<std::uint8_t> &) {
        if (++opens == 40)
            link.openSucceeds = false; // the next open (block 40) fails
        return test::FakeLink::Reply{};
    };
    const auto outcome = updater.run(test::imageOf(100));
    EXPECT_EQ(outcome.result, UpdateResult::BlockFailed);
    EXPECT_EQ(outcome.failedBlock, 40);
    EXPECT_EQ(link.sent.size(), 40u);
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(sink.label, "");
}

TEST_F(Updater, RunningTwiceSendsTheSameCommandsFromBlockZero)
{
    const auto image = test::imageOf(260);
    ASSERT_EQ(updater.run(image).result, UpdateResult::Complete);
    const auto first = link.sent;
    link.sent.clear();
    ASSERT_EQ(updater.run(image).result, UpdateResult::Complete);
    EXPECT_EQ(link.sent, first);
    EXPECT_EQ(pump.pumpedMs, 6000);
}

TEST_F(Updater, NoDeviceTellsTheUserAndSendsNothing)
{
    ports.records.clear();
    sink.label = "Update complete";
    const auto outcome = updater.run(test::imageOf(3));
    EXPECT_EQ(outcome.result, UpdateResult::NoDevice);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"No XLT device detected"});
    EXPECT_EQ(sink.label, "");
    EXPECT_EQ(link.openCalls, 0);
    EXPECT_FALSE(sink.busy);
}

TEST_F(Updater, RefusesWhileAnotherWindowHoldsTheDevice)
{
    const link::DeviceHold monitor(device, "traffic monitor");
    const auto outcome = updater.run(test::imageOf(3));
    EXPECT_EQ(outcome.result, UpdateResult::Refused);
    EXPECT_EQ(link.openCalls, 0);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].text.find("traffic monitor"), std::string::npos);
    EXPECT_EQ(device.holder, "traffic monitor");
}

TEST_F(Updater, DoesNotStartAgainFromInsideItsOwnRun)
{
    const auto image = test::imageOf(5);
    int nested = -1;
    pump.onPump = [&] {
        if (nested < 0)
            nested = static_cast<int>(updater.run(image).result);
    };
    EXPECT_EQ(updater.run(image).result, UpdateResult::Complete);
    EXPECT_EQ(nested, static_cast<int>(UpdateResult::Refused));
    EXPECT_EQ(link.sent.size(), 5u);
}

} // namespace
