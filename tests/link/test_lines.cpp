// The two lines: the worker thread that owns the serial line in the program, and the line that
// runs requests at once for xltctl and the tests.
#include "link/LineWorker.h"
#include "support/FakeLink.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace xlt;

namespace {

/// A link that remembers the thread it was made and used on, and is slow to answer.
class ThreadLink final : public link::LinkLibrary
{
public:
    explicit ThreadLink(std::atomic<int> &destroyed)
        : m_destroyed(destroyed)
        , madeOn(QThread::currentThread())
    {}
    ~ThreadLink() override { ++m_destroyed; }
    std::int16_t OpenXLTComPort(link::XLTPacket &) override { return 1; }
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override
    {
        usedOn = QThread::currentThread();
        QThread::msleep(20);
        packet.ReplyStatus = link::ReplyOk;
        return 0;
    }
    std::int16_t CloseXLTComPort() override { return 0; }

    std::atomic<int> &m_destroyed;
    QThread *madeOn;
    std::atomic<QThread *> usedOn{nullptr};
};

struct Worker : ::testing::Test
{
    std::atomic<int> destroyed{0};
    ThreadLink *made = nullptr; // owned by the worker
    link::LineWorker worker{[this] {
        auto link = std::make_unique<ThreadLink>(destroyed);
        made = link.get();
        return link;
    }};
};

// Jobs run one at a time, in order, on the line's thread; each `done` comes back to the
// submitting thread as an event, never inside submit().
TEST_F(Worker, RunsJobsInOrderOnItsThreadAndReportsOnTheOwnersThread)
{
    std::vector<int> jobs;
    std::vector<int> dones;
    std::atomic<int> running{0};
    for (int i = 0; i < 5; ++i) {
        worker.submit(
            [&, i](link::LinkLibrary &line) {
                EXPECT_EQ(++running, 1); // never two at once
                link::XLTPacket packet;
                line.XLTSendCommand(packet);
                jobs.push_back(i);
                --running;
            },
            [&, i] {
                EXPECT_EQ(QThread::currentThread(), qApp->thread());
                dones.push_back(i);
            });
    }
    EXPECT_TRUE(dones.empty());
    EXPECT_EQ(worker.pending(), 5u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dones.size() == 5; }, 5000));
    EXPECT_EQ(jobs, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(dones, jobs);
    EXPECT_EQ(worker.pending(), 0u);
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made->madeOn, qApp->thread()); // the link belongs to the line's thread
    EXPECT_EQ(made->usedOn.load(), made->madeOn);
}

// stop() lets the queued jobs run (they close what they opened), drops their results, destroys
// the link on its thread and ignores later requests.
TEST_F(Worker, StopRunsQueuedJobsAndDropsTheirResults)
{
    std::atomic<int> ran{0};
    bool reported = false;
    for (int i = 0; i < 3; ++i)
        worker.submit(
            [&](link::LinkLibrary &line) {
                link::XLTPacket packet;
                line.XLTSendCommand(packet);
                ++ran;
            },
            [&] { reported = true; });
    worker.stop();
    EXPECT_EQ(ran, 3);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(worker.pending(), 0u);
    worker.submit([&](link::LinkLibrary &) { ++ran; }, [&] { reported = true; });
    QTest::qWait(50);
    EXPECT_EQ(ran, 3);
    EXPECT_FALSE(reported);
}

// A chain of requests each submitted from the last one's `done` runs in a loop: a chain far
// longer than any update stays flat on the stack, and the outermost submit returns at its end.
TEST(InlineLine, LongChainsRunInALoopAndFinishBeforeSubmitReturns)
{
    test::FakeLink fake;
    link::InlineLine line(fake);
    int remaining = 200000;
    std::function<void()> next = [&] {
        if (--remaining > 0)
            line.submit([](link::LinkLibrary &) {}, next);
    };
    line.submit([](link::LinkLibrary &) {}, next);
    EXPECT_EQ(remaining, 0);
    EXPECT_TRUE(line.immediate());
    EXPECT_EQ(line.direct(), &fake);
}

} // namespace
