// The windows with the line on its own thread, as in the program: an update against a device
// that answers at the speed of a real line (the emulator on a pseudo-terminal, the last replies
// paced at 9600 baud), and windows whose requests stay in flight for as long as the test wants.
// The window thread keeps running events throughout.
#include "app/ui/DeviceBar.h"
#include "link/ChoosablePorts.h"
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "monitor/MonitorTest.h"
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

#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <map>

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
struct TimedLink final : test::ForwardingLink
{
    /// Block number: when it was sent, when its reply came.
    using Times = std::map<std::uint16_t, std::pair<Clock::time_point, Clock::time_point>>;

    TimedLink(std::unique_ptr<link::LinkLibrary> link, Times &blockTimes, std::atomic<int> &count)
        : ForwardingLink(*link)
        , owned(std::move(link))
        , blocks(blockTimes)
        , exchanged(count)
    {}
    std::int16_t XLTSendCommand(link::XLTPacket &p) override
    {
        const Clock::time_point sent = Clock::now();
        const std::int16_t result = inner.XLTSendCommand(p);
        if (p.CommandData[0] == link::kCmdUpdateBlock)
            blocks[static_cast<std::uint16_t>(p.CommandData[1] + 256 * p.CommandData[2])] = {
                sent, Clock::now()};
        ++exchanged;
        return result;
    }

    std::unique_ptr<link::LinkLibrary> owned;
    Times &blocks;
    std::atomic<int> &exchanged;
};

/// The emulator on a pseudo-terminal and the program's own line: a worker thread over the
/// serial link, with real timers.
struct RealLine : ::testing::Test
{
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
    test::BusyProbe probe;
};

// An update: the window stays live through every block (the last ones at line speed) and the
// first-stage pause after block 255, which lasts its three seconds on the line.
TEST_F(RealLine, UpdateKeepsTheWindowLiveAndPausesThreeSeconds)
{
    ::setenv("XLT_SIM_DIR", registry.c_str(), 1); // read at each port listing
    std::string error;
    server = sim::PtyServer::start({}, {registry}, error);
    ASSERT_TRUE(server) << error;
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

// Three emulated devices and the main window's status bar over the real port listing: each
// plug and unplug shows, a device chosen there is the one a window talks to, an unplugged choice
// stays chosen (not connected) and is used again once it is back.
TEST_F(RealLine, StatusBarFollowsEmulatorsAndTheChosenOneAnswers)
{
    ::setenv("XLT_SIM_DIR", registry.c_str(), 1);
    link::ChoosablePorts choosable(*ports);
    link::DeviceContext chosen{worker, choosable, notifier};
    app::DeviceBar bar(choosable);
    auto *devices = bar.findChild<QComboBox *>("cmbDevice");
    const int before = devices->count();
    std::unique_ptr<sim::PtyServer> emulators[3];
    const auto serve = [&](int i) {
        sim::DeviceOptions options;
        options.identity = "PR01 0" + std::to_string(i + 1) + "000001";
        options.statePath.clear();
        std::string error;
        emulators[i] = sim::PtyServer::start(options, {registry}, error);
        ASSERT_TRUE(emulators[i]) << error;
    };
    for (int i = 0; i < 3; ++i) {
        ASSERT_NO_FATAL_FAILURE(serve(i));
        EXPECT_TRUE(waitFor([&] { return devices->count() == before + i + 1; }, 5000)) << i;
    }
    const int first = devices->findText("COM129", Qt::MatchStartsWith);
    ASSERT_GT(first, 0);
    devices->setCurrentIndex(first);
    const auto identityShown = [&](const char *firmware) {
        options::frmOptions window(chosen);
        return waitFor([&] {
            return window.findChild<QPlainTextEdit *>("Picture1")
                ->toPlainText()
                .contains(QLatin1String(firmware));
        });
    };
    EXPECT_TRUE(identityShown("firmware:    0100"));
    emulators[0].reset();
    EXPECT_TRUE(waitFor([&] { return devices->currentText().endsWith("(not connected)"); }, 5000));
    ASSERT_NO_FATAL_FAILURE(serve(0)); // back, on the port it had
    EXPECT_TRUE(waitFor([&] { return !devices->currentText().endsWith("(not connected)"); }, 5000));
    EXPECT_TRUE(identityShown("firmware:    0100"));
    emulators[2].reset();
    EXPECT_TRUE(waitFor([&] { return devices->count() == before + 2; }, 5000));
}

/// Windows over a line thread whose device answers when the test says: requests stay in flight
/// for as long as the test wants. The identity is "PR01", every other reply 128 zeros.
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

// Each window closed while its request is in flight, then deleted: the device is free at the
// close, the request gives up at once instead of waiting out its 3 s time-out, nothing more is
// sent, nothing freed is touched, no message comes and the port ends closed. Each window shows
// that it waits, except for a monitor run's polls.
TEST_F(InFlight, ClosingEachWindowWithARequestInFlight)
{
    const QString file = test::writeFile(dir.filePath("u.dpc"), test::makeDpc(3));
    const auto clicked = [](QWidget *window, const char *button) {
        window->findChild<QPushButton *>(button)->click();
        return window;
    };
    const auto monitorAt = [&](const std::string &step) {
        return [&, step] {
            held.holdOpens = step == "open";
            QWidget *window = clicked(new monitor::frmMonitor(session), "bttnRun");
            if (step == "command 2" || step == "command 1") { // the identity is answered
                EXPECT_TRUE(RealLine::waitFor([&] { return held.held() == "command 16"; }));
                held.answer();
            }
            if (step == "command 1") { // the capture start is answered
                EXPECT_TRUE(RealLine::waitFor([&] { return held.held() == "command 2"; }));
                held.answer();
            }
            return window;
        };
    };
    // Rows: the window, the step it waits for, whether it shows that it waits.
    const std::tuple<const char *, std::function<QWidget *()>, std::string, bool> windows[] = {
        {"PR01 read", [&] { return clicked(new pr01::frmSetID003(session), "bttnGetCfg"); },
         "command 16", true},
        {"PR01 detection start",
         [&] { return clicked(new pr01::frmSetID003(session), "bttnAutoCfg"); }, "command 16",
         true},
        {"options reads", [&] { return new options::frmOptions(device); }, "command 16", true},
        {"update file check",
         [&] {
             auto *window = new update::frmXLTUpdate(device);
             window->setFileChooser([&](QWidget *) { return std::optional(file); });
             return clicked(window, "bttnOpen");
         },
         "command 16", true},
        {"monitor", monitorAt("open"), "open", true},
        {"monitor", monitorAt("command 16"), "command 16", true}, // the capture's identity
        {"monitor", monitorAt("command 2"), "command 2", true},   // the capture start
        {"monitor", monitorAt("command 1"), "command 1", false},  // a poll
    };
    for (const auto &[what, open, step, waits] : windows) {
        SCOPED_TRACE(std::string(what) + ", " + step);
        QPointer<QWidget> window = open();
        window->show();
        ASSERT_TRUE(RealLine::waitFor([&, &step = step] { return held.held() == step; }));
        EXPECT_EQ(window->cursor().shape() == Qt::WaitCursor, waits);
        const std::size_t sent = held.sent().size();
        window->close();
        EXPECT_EQ(device.holder, "");
        delete window.data();
        if (held.held() == "open")
            held.answer(); // the open goes through, but nothing is sent on it
        const auto closed = Clock::now();
        ASSERT_TRUE(montest::settle(worker));
        EXPECT_LT(Clock::now() - closed, std::chrono::milliseconds(1500));
        held.holdOpens = false;
        EXPECT_EQ(held.sent().size(), sent);
        EXPECT_FALSE(held.isOpen());
        EXPECT_TRUE(notifier.messages.empty());
    }
}

} // namespace
