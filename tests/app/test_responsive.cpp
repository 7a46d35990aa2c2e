// The windows against a device that answers at the speed of a real line (the emulator on a
// pseudo-terminal, replies paced at 9600 baud) or not at all, with the line on its own thread
// as in the program: the window thread keeps running events throughout.
#include "app/ui/MDIForm1.h"
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "monitor/MonitorTest.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmMonitor.h"
#include "options/ui/frmOptions.h"
#include "pr01/ui/frmSetID003.h"
#include "session/Session.h"
#include "sim/PtyServer.h"
#include "support/BusyProbe.h"
#include "support/MapStore.h"
#include "support/RecordingNotifier.h"
#include "update/UpdateFixture.h"
#include "update/ui/frmXLTUpdate.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <map>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

namespace {

/// A bound that only a window thread waiting on the line exceeds: one full capture reply at
/// 9600 baud takes about 280 ms, a time-out 3 s. (The 16 ms goal is bench_monitor's figure: on
/// a busy machine a paint of the window alone can take longer.)
constexpr double kWaitedOnTheLineMs = 100.0;

/// The serial link, counting the exchanges and noting when each update block (command 21) was
/// sent and when its reply came (on the line's thread; read them once the line is idle).
class TimedLink final : public link::LinkLibrary
{
public:
    /// Block number: when it was sent, when its reply came.
    using Times = std::map<std::uint16_t, std::pair<Clock::time_point, Clock::time_point>>;

    TimedLink(std::unique_ptr<link::LinkLibrary> inner, Times &blocks, std::atomic<int> &count)
        : m_inner(std::move(inner))
        , m_blocks(blocks)
        , m_count(count)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &p) override { return m_inner->OpenXLTComPort(p); }
    std::int16_t XLTSendCommand(link::XLTPacket &p) override
    {
        const Clock::time_point sent = Clock::now();
        const std::int16_t result = m_inner->XLTSendCommand(p);
        if (p.CommandData[0] == link::kCmdUpdateBlock)
            m_blocks[static_cast<std::uint16_t>(p.CommandData[1] + 256 * p.CommandData[2])] = {
                sent, Clock::now()};
        ++m_count;
        return result;
    }
    std::int16_t CloseXLTComPort() override { return m_inner->CloseXLTComPort(); }
    std::string openFailureText() const override { return m_inner->openFailureText(); }
    void setInterrupt(std::function<bool()> f) override { m_inner->setInterrupt(std::move(f)); }

private:
    std::unique_ptr<link::LinkLibrary> m_inner;
    Times &m_blocks;
    std::atomic<int> &m_count;
};

/// The emulator on a pseudo-terminal and the program's own line: a worker thread over the
/// serial link, with real timers.
struct RealLine : ::testing::Test
{
    void serve(sim::DeviceOptions options)
    {
        ::setenv("XLT_SIM_DIR", registry.c_str(), 1); // read at each port listing
        std::string error;
        server = sim::PtyServer::start(std::move(options), {registry}, error);
        ASSERT_TRUE(server) << error;
    }
    template<typename T> T *child(QWidget &window, const char *name)
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    /// Runs the event loop as the program does (QTest::qWaitFor sleeps between its passes,
    /// which would hide the stretches the probe looks for) until `done` or `ms` have passed.
    static bool waitFor(const std::function<bool()> &done, int ms = 15000)
    {
        if (done())
            return true;
        QEventLoop loop;
        QTimer check;
        check.setInterval(1);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        check.start();
        loop.exec();
        return done();
    }

    QTemporaryDir dir;
    const std::string registry = dir.filePath("registry").toStdString();
    std::unique_ptr<sim::PtyServer> server; // outlives the line that talks to it
    std::unique_ptr<link::PortSource> ports = link::makeSystemPortSource();
    TimedLink::Times blocks; ///< written on the line's thread
    std::atomic<int> exchanged{0};
    link::LineWorker worker{[this] {
        return std::make_unique<TimedLink>(std::make_unique<link::SerialLink>(*ports), blocks,
                                           exchanged);
    }};
    test::RecordingNotifier notifier;
    link::DeviceContext device{worker, *ports, notifier};
    test::MapStore store;
    session::Session session{device, store, dir.path()};
    test::BusyProbe probe;
};

// Flood traffic at 9600 baud: each poll's reply takes about a quarter of a second on the line,
// and the window thread never waits for one.
TEST_F(RealLine, MonitorRunAtLineSpeedKeepsTheWindowLive)
{
    ASSERT_NO_FATAL_FAILURE(serve({.traffic = sim::TrafficLevel::Flood, .pace9600 = true}));
    session.LogPath = dir.path();
    monitor::frmMonitor window(session);
    window.show();
    auto *list1 = child<monitor::TrafficListBox>(window, "List1");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    waitFor([] { return false; }, 20);
    probe.take();
    child<QPushButton>(window, "bttnRun")->click();
    ASSERT_TRUE(waitFor([&] { return exchanged >= 6; }));
    EXPECT_LE(probe.take(), kWaitedOnTheLineMs);
    EXPECT_GT(list1->count(), 0);
    EXPECT_TRUE(notifier.messages.empty());
}

// A device that does not answer: the read waits out its three-second time-out on the line's
// thread while the window shows it waits and stays live; then the one message.
TEST_F(RealLine, Pr01ReadThatTimesOutKeepsTheWindowLive)
{
    ASSERT_NO_FATAL_FAILURE(serve({.fault = sim::Fault::NoReply, .faultCode = 17}));
    pr01::frmSetID003 window(session);
    window.show();
    auto *get = child<QPushButton>(window, "bttnGetCfg");
    probe.take();
    const Clock::time_point start = Clock::now();
    get->click();
    EXPECT_FALSE(get->isEnabled());
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    ASSERT_TRUE(waitFor([&] { return get->isEnabled(); }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_LE(probe.take(), kWaitedOnTheLineMs);
    EXPECT_NE(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});
}

// An update: the window stays live through every block (the last ones at line speed) and the
// first-stage pause after block 255, which lasts its three seconds on the line.
TEST_F(RealLine, UpdateKeepsTheWindowLiveAndPausesThreeSeconds)
{
    ASSERT_NO_FATAL_FAILURE(serve({}));
    update::frmXLTUpdate window(device);
    const QString file = test::writeFile(dir.filePath("big.dpc"), test::makeDpc(260));
    window.setFileChooser([&](QWidget *) { return std::optional(file); });
    window.show();
    probe.take();
    child<QPushButton>(window, "bttnOpen")->click();
    ASSERT_TRUE(waitFor([&] { return child<QPushButton>(window, "bttnUpdate")->isEnabled(); }));
    child<QPushButton>(window, "bttnUpdate")->click();
    ASSERT_TRUE(waitFor([&] { return exchanged >= 250; }));
    server->withModel([](sim::DeviceModel &model) { model.options().pace9600 = true; });
    ASSERT_TRUE(waitFor([&] { return !window.updating(); }, 20000));
    EXPECT_LE(probe.take(), kWaitedOnTheLineMs);
    EXPECT_EQ(child<QLabel>(window, "lblBlk")->text(), "Update complete");
    EXPECT_TRUE(notifier.messages.empty());
    ASSERT_TRUE(montest::settle(worker));
    ASSERT_EQ(blocks.size(), 260u);
    // Block 256 was sent three seconds after the reply to block 255. The upper bound is generous
    // on purpose: it only catches a pause taken twice, however busy the machine.
    const auto pause = blocks.at(256).first - blocks.at(255).second;
    EXPECT_GE(pause, std::chrono::milliseconds(2900));
    EXPECT_LT(pause, std::chrono::milliseconds(5000));
}

/// The main window over a line thread whose device answers when the test says: requests stay
/// in flight for as long as the test wants. The identity is "PR01", every other reply 128 zeros.
struct InFlight : ::testing::Test
{
    InFlight()
    {
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}};
        held.responder = [](const Bytes &command) {
            return montest::HeldLink::Reply{
                link::ReplyOk, command[0] == 16 ? Bytes{'P', 'R', '0', '1'} : Bytes(128, 0)};
        };
    }

    montest::HeldLink held;
    link::LineWorker worker{montest::linkFactory(held)};
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext device{worker, ports, notifier};
    test::MapStore store;
    QTemporaryDir dir;
    session::Session session{device, store, dir.path()};
};

// File > Exit during an update refuses before any window is closed.
TEST_F(InFlight, ExitDuringAnUpdateClosesNothing)
{
    app::MDIForm1 main(session);
    main.show();
    for (const char *item : {"mnuMonitor", "mnuSetID003", "mnuUpdateXLT"})
        main.findChild<QAction *>(item)->trigger();
    auto *mdi = main.findChild<QMdiArea *>();
    ASSERT_EQ(mdi->subWindowList().size(), 3);
    auto *updateWindow = main.findChild<update::frmXLTUpdate *>();
    const QString file = test::writeFile(dir.filePath("u.dpc"), test::makeDpc(3));
    updateWindow->setFileChooser([&](QWidget *) { return std::optional(file); });
    updateWindow->findChild<QPushButton *>("bttnOpen")->click();
    held.answer(); // the open step's identity read
    auto *start = updateWindow->findChild<QPushButton *>("bttnUpdate");
    ASSERT_TRUE(RealLine::waitFor([&] { return start->isEnabled(); }));
    start->click();
    ASSERT_TRUE(updateWindow->updating());
    ASSERT_TRUE(RealLine::waitFor([&] { return held.held() == "command 16"; }));
    notifier.messages.clear();

    EXPECT_FALSE(main.close());
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"The firmware update is still running. "
                                                         "Wait until it has ended, then close "
                                                         "the window."});
    held.passAll();
    ASSERT_TRUE(RealLine::waitFor([&] { return !updateWindow->updating(); }));
}

// Each window closed while its request is in flight, then deleted: the device is free at the
// close, the request gives up at once, nothing more is sent, nothing freed is touched, no
// message comes and the port ends closed. (The monitor's own cases are in the monitor window's
// tests.)
TEST_F(InFlight, ClosingEachWindowWithARequestInFlight)
{
    const QString file = test::writeFile(dir.filePath("u.dpc"), test::makeDpc(3));
    const auto pr01After = [&](const char *button) {
        return [this, button] {
            auto *w = new pr01::frmSetID003(session);
            w->findChild<QPushButton *>(button)->click();
            return static_cast<QWidget *>(w);
        };
    };
    const std::vector<std::pair<const char *, std::function<QWidget *()>>> windows = {
        {"PR01 read", pr01After("bttnGetCfg")},
        {"PR01 detection start", pr01After("bttnAutoCfg")},
        {"options reads", [&] { return new options::frmOptions(device); }},
        {"update file check",
         [&] {
             auto *w = new update::frmXLTUpdate(device);
             w->setFileChooser([&](QWidget *) { return std::optional(file); });
             w->findChild<QPushButton *>("bttnOpen")->click();
             return w;
         }},
    };
    for (const auto &[what, open] : windows) {
        SCOPED_TRACE(what);
        QPointer<QWidget> window = open();
        window->show();
        ASSERT_TRUE(RealLine::waitFor([&] { return !held.held().empty(); }));
        EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
        const std::size_t sent = held.sent().size();
        window->close();
        EXPECT_EQ(device.holder, "");
        delete window.data();
        ASSERT_TRUE(montest::settle(worker));
        EXPECT_EQ(held.sent().size(), sent);
        EXPECT_FALSE(held.isOpen());
        EXPECT_TRUE(notifier.messages.empty());
    }
}

} // namespace
