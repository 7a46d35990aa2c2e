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

struct WorkerLine : ::testing::Test
{
    test::HeldLink silent; ///< a device that never answers unless told
    link::LineWorker line{test::linkFactory(silent)};
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
    // The next operation queues behind the cancelled one, whose exchange gives up at once
    // instead of waiting out its 3 s time-out.
    std::atomic<bool> nextRan{false};
    link::Operation next(context);
    next.start("next", [&](link::Flow &) { nextRan = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return nextRan.load(); }, 1500));
    QTest::qWait(20);
    EXPECT_EQ(silent.sent(), std::vector<test::Bytes>{{16}});
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
    const auto stopping = std::chrono::steady_clock::now();
    line.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1500ms) << "not the 3 s time-out";
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
            order.emplace_back("ended");
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !operation.running(); }, 5000));
    EXPECT_EQ(order, (std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT",
                                               "ended"}));
}

/// Operations on a line that runs them at once, as xltctl has it.
struct InlineOperation : ::testing::Test, test::FakeDevice
{
    link::Operation operation{context};
};

// (A stop request made before the procedure has looked is kept, and a new start begins without
// it: Run.StopDuringTheStartEndsTheRunAtTheFirstPoll, AutoDetect.EachDeviceBehaviour.)

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
