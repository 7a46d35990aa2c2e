// Operations on the two lines: the worker thread that owns the serial line in the program, and
// the line that runs an operation at once for xltctl and the tests.
#include "link/LineWorker.h"
#include "link/Operation.h"
#include "link/XLT_protocol.h"
#include "support/FakeLink.h"
#include "support/HeldLink.h"
#include "support/RecordingNotifier.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace xlt;
using namespace std::chrono_literals;

namespace {

/// Hands every step on to `device`, and notes whether the link was told to give up (the
/// operation's interrupt) when an exchange ended: a silent line then ends the wait at once.
struct WatchedLink final : link::LinkLibrary
{
    explicit WatchedLink(link::LinkLibrary &inner)
        : device(inner)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &p) override { return device.OpenXLTComPort(p); }
    std::int16_t CloseXLTComPort() override { return device.CloseXLTComPort(); }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        const std::int16_t result = device.XLTSendCommand(packet);
        toldToGiveUp = interrupted && interrupted();
        return result;
    }
    void setInterrupt(std::function<bool()> f) override
    {
        interrupted = f;
        device.setInterrupt(std::move(f));
    }
    link::LinkLibrary &device;
    std::function<bool()> interrupted; ///< on the line's thread only
    std::atomic<bool> toldToGiveUp{false};
};

struct WorkerLine : ::testing::Test
{
    test::HeldLink silent; ///< a device that never answers unless told
    WatchedLink watched{silent};
    link::LineWorker line{test::linkFactory(watched)};
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext context{line, ports, notifier};

    /// A procedure of three exchanges on port 1 with the given time-out.
    static void threeCommands(link::Flow &flow, std::uint16_t timeoutMs)
    {
        flow.CmdPacket.PortNumber = 1;
        flow.CmdPacket.Timeout = timeoutMs;
        if (link::OpenXLTComPort(flow, flow.CmdPacket) == 0)
            return;
        for (const std::uint8_t code : {std::uint8_t{16}, std::uint8_t{17}, std::uint8_t{18}}) {
            flow.CmdPacket.CommandLength = 1;
            flow.CmdPacket.CommandData[0] = code;
            if (!link::RunXLTCommand(flow, flow.CmdPacket))
                return;
        }
        link::CloseXLTComPort(flow);
    }
};

// The procedure runs on the line's thread; what it posts arrives on the owner's thread, in
// order, after start() has returned, and `ended` comes last.
TEST_F(WorkerLine, PostsArriveInOrderOnTheOwnersThreadThenTheEnd)
{
    std::vector<int> seen;
    link::Operation operation(context);
    ASSERT_TRUE(operation.start(
        "test",
        [&seen](link::Flow &flow) {
            for (int i = 0; i < 5; ++i)
                flow.post([&seen, i] {
                    EXPECT_EQ(QThread::currentThread(), qApp->thread());
                    seen.push_back(i);
                });
        },
        [&] { seen.push_back(99); }));
    EXPECT_EQ(context.holder, "test");
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !operation.running(); }, 5000));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 99}));
    EXPECT_TRUE(context.holder.empty()) << "released at the end";
}

// The owner goes while the device is silent: the exchange in flight gives up at once, nothing
// more is sent, the port is closed and no message, result or end reaches the owner.
TEST_F(WorkerLine, CancelStopsTheProcedureAtItsNextStepAndReportsNothing)
{
    bool ended = false;
    auto operation = std::make_unique<link::Operation>(context);
    operation->start(
        "test", [](link::Flow &flow) { threeCommands(flow, 3000); }, [&] { ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.held() == "command 16"; }, 2000));
    operation.reset();
    EXPECT_TRUE(context.holder.empty()) << "released when the owner goes";
    // The next operation queues behind the cancelled one, whose exchange was told to give up.
    std::atomic<bool> nextRan{false};
    link::Operation next(context);
    next.start("next", [&](link::Flow &) { nextRan = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return nextRan.load(); }, 20000));
    EXPECT_TRUE(watched.toldToGiveUp);
    QTest::qWait(20);
    EXPECT_EQ(silent.codes(), std::vector<std::uint8_t>{16});
    EXPECT_FALSE(silent.isOpen());
    EXPECT_FALSE(ended);
    EXPECT_TRUE(notifier.messages.empty()) << notifier.texts().front();
}

// What a procedure posted before its owner went, and that the owner's thread has not run yet,
// is dropped: the owner never sees it.
TEST_F(WorkerLine, PostsNotYetDeliveredAreDroppedByTheCancel)
{
    bool delivered = false;
    std::atomic<bool> posted{false};
    link::Operation operation(context);
    operation.start(
        "test",
        [&](link::Flow &flow) {
            flow.post([&] { delivered = true; });
            flow.tell(core::Icon::Information, "done");
            posted = true;
        },
        [&] { delivered = true; });
    while (!posted) // without running the owner's events
        QThread::msleep(1);
    QThread::msleep(20);
    operation.cancel();
    QTest::qWait(50);
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(notifier.messages.empty());
}

// The program's exit stops the line while a silent device is being waited for: the exchange is
// told to give up.
TEST_F(WorkerLine, StopEndsTheRunningExchangeAtOnce)
{
    link::Operation operation(context);
    operation.start("test", [](link::Flow &flow) { threeCommands(flow, 3000); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.held() == "command 16"; }, 2000));
    line.stop();
    EXPECT_TRUE(watched.toldToGiveUp);
    EXPECT_TRUE(notifier.messages.empty());
}

// A failed exchange is told through the owner, and a delivery that opens a message box holds
// back the ones behind it: the end never comes while the box is up.
TEST_F(WorkerLine, MessagesComeInTheirTurnAndHoldBackWhatFollows)
{
    std::vector<std::string> order;
    bool inBox = false;
    notifier.onMessage = [&](const test::RecordingNotifier::Entry &entry) {
        order.push_back(entry.text);
        inBox = true;
        QTest::qWait(100); // a modal box: a nested event loop
        inBox = false;
    };
    link::Operation operation(context);
    operation.start(
        "test", [](link::Flow &flow) { threeCommands(flow, 20); },
        [&] {
            EXPECT_FALSE(inBox);
            order.push_back("ended");
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !operation.running(); }, 5000));
    EXPECT_EQ(order, (std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT",
                                               "ended"}));
}

/// Operations on a line that runs them at once, as xltctl has it.
struct InlineOperation : ::testing::Test
{
    test::FakeLink fake;
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext context{fake, ports, notifier};
    link::Operation operation{context};
};

// A stop request made before the procedure has looked is still there when it looks, and a new
// start begins without the old one's request.
TEST_F(InlineOperation, StopRequestsAreNeverLostAndBelongToOneRun)
{
    std::vector<bool> seen;
    const auto look = [&](link::Flow &flow) { seen.push_back(flow.stopRequested()); };
    operation.start("a", [&](link::Flow &flow) {
        operation.requestStop(); // as an Abort pressed while the first exchange is in flight
        look(flow);
    });
    operation.start("b", look);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

// While one operation holds the device another is refused with the holder's name, and nothing
// runs.
TEST_F(InlineOperation, HeldDeviceRefusesOthers)
{
    link::DeviceHold hold(context, "traffic monitor");
    bool ran = false;
    EXPECT_FALSE(operation.start("b", [&](link::Flow &) { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"The XLT device is in use by the traffic monitor. Stop it "
                                       "first, then try again."});
}

// Operations started from another's end run one after the other, not nested: a chain far
// longer than any update stays flat on the stack.
TEST_F(InlineOperation, ChainsStartedFromTheEndRunInALoop)
{
    int remaining = 100000;
    std::function<void()> next = [&] {
        if (--remaining > 0)
            context.line.post([&] {
                operation.start(
                    "chain", [](link::Flow &) {}, next);
            });
    };
    operation.start(
        "chain", [](link::Flow &) {}, next);
    EXPECT_EQ(remaining, 0);
}

} // namespace
