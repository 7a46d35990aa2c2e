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
#include "update/ui/frmXLTUpdate.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
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

/// An update file of `blocks` blocks with a readable identity.
QString writeDpc(const QString &path, int blocks)
{
    Bytes bytes(std::max<std::size_t>(128 + 128 * std::size_t(blocks), 2173));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    const std::uint8_t header[] = {
        'X', 'L', 'T', 0, 0, std::uint8_t(blocks % 256), std::uint8_t(blocks / 256)};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    const std::string identity = "PR01 01230001";
    std::copy(identity.begin(), identity.end(), bytes.begin() + 2160);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return path;
}

/// The serial link, noting when each command was sent and when its reply came (on the line's
/// thread; read them once the line is idle).
class TimedLink final : public link::LinkLibrary
{
public:
    struct Exchange
    {
        std::uint8_t code;
        std::uint16_t block; ///< of an update block (command 21)
        Clock::time_point sent;
        Clock::time_point replied;
    };

    TimedLink(std::unique_ptr<link::LinkLibrary> inner, std::vector<Exchange> &exchanges,
              std::atomic<int> &count)
        : m_inner(std::move(inner))
        , m_exchanges(exchanges)
        , m_count(count)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &p) override { return m_inner->OpenXLTComPort(p); }
    std::int16_t XLTSendCommand(link::XLTPacket &p) override
    {
        const Clock::time_point sent = Clock::now();
        const std::int16_t result = m_inner->XLTSendCommand(p);
        const auto block = static_cast<std::uint16_t>(p.CommandData[1] + 256 * p.CommandData[2]);
        m_exchanges.push_back({p.CommandData[0], block, sent, Clock::now()});
        ++m_count;
        return result;
    }
    std::int16_t CloseXLTComPort() override { return m_inner->CloseXLTComPort(); }
    std::string openFailureText() const override { return m_inner->openFailureText(); }
    void setInterrupt(std::function<bool()> f) override { m_inner->setInterrupt(std::move(f)); }

private:
    std::unique_ptr<link::LinkLibrary> m_inner;
    std::vector<Exchange> &m_exchanges;
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
    std::vector<TimedLink::Exchange> exchanges; ///< written on the line's thread
    std::atomic<int> exchanged{0};
    link::LineWorker worker{[this] {
        return std::make_unique<TimedLink>(std::make_unique<link::SerialLink>(*ports), exchanges,
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
    EXPECT_FALSE(child<QPushButton>(window, "bttnRun")->isEnabled());
    child<QPushButton>(window, "Command2")->click();
    ASSERT_TRUE(waitFor([&] { return child<QPushButton>(window, "bttnRun")->isEnabled(); }));
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(device.holder, "");
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
    EXPECT_EQ(device.holder, "");
}

// An update at line speed: every block a request, the window live between and during them.
TEST_F(RealLine, UpdateAtLineSpeedKeepsTheWindowLive)
{
    ASSERT_NO_FATAL_FAILURE(serve({.pace9600 = true}));
    update::frmXLTUpdate window(device);
    const QString file = writeDpc(dir.filePath("small.dpc"), 12);
    window.setFileChooser([&](QWidget *) { return std::optional(file); });
    window.show();
    probe.take();
    child<QPushButton>(window, "bttnOpen")->click();
    ASSERT_TRUE(waitFor([&] { return child<QPushButton>(window, "bttnUpdate")->isEnabled(); }));
    child<QPushButton>(window, "bttnUpdate")->click();
    EXPECT_TRUE(window.updating());
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    ASSERT_TRUE(waitFor([&] { return !window.updating(); }));
    EXPECT_LE(probe.take(), kWaitedOnTheLineMs);
    EXPECT_EQ(child<QLabel>(window, "lblBlk")->text(), "Update complete");
    EXPECT_TRUE(notifier.messages.empty());
}

// A modal message box open during the whole update does not hold it back, and the first-stage
// pause after block 255 lasts its three seconds, box or no box.
TEST_F(RealLine, UpdateGoesOnWhileAMessageBoxIsOpenAndPausesThreeSeconds)
{
    ASSERT_NO_FATAL_FAILURE(serve({}));
    update::frmXLTUpdate window(device);
    const QString file = writeDpc(dir.filePath("big.dpc"), 260);
    window.setFileChooser([&](QWidget *) { return std::optional(file); });
    window.show();
    child<QPushButton>(window, "bttnOpen")->click();
    ASSERT_TRUE(waitFor([&] { return child<QPushButton>(window, "bttnUpdate")->isEnabled(); }));
    child<QPushButton>(window, "bttnUpdate")->click();

    bool boxOpenAtTheEnd = false;
    QTimer::singleShot(0, [&] {
        QMessageBox box(QMessageBox::Information, "XLT", "Something else", QMessageBox::Ok);
        QTimer::singleShot(0, [&] {
            // Inside the box's own event loop: wait there until the update has ended.
            RealLine::waitFor([&] { return !window.updating(); }, 20000);
            boxOpenAtTheEnd = box.isVisible();
            box.accept();
        });
        box.exec();
    });
    ASSERT_TRUE(waitFor([&] { return !window.updating(); }, 20000));
    EXPECT_TRUE(boxOpenAtTheEnd);
    EXPECT_EQ(child<QLabel>(window, "lblBlk")->text(), "Update complete");
    ASSERT_TRUE(montest::settle(worker));
    std::map<std::uint16_t, TimedLink::Exchange> blocks;
    for (const TimedLink::Exchange &exchange : exchanges) {
        if (exchange.code == link::kCmdUpdateBlock)
            blocks.emplace(exchange.block, exchange);
    }
    ASSERT_EQ(blocks.size(), 260u);
    // Block 256 was sent three seconds after the reply to block 255.
    const auto pause = blocks.at(256).sent - blocks.at(255).replied;
    const double pauseMs = std::chrono::duration<double, std::milli>(pause).count();
    EXPECT_NEAR(pauseMs, 3000.0, 100.0);
}

/// The main window over a line thread whose device answers when the test says: requests stay
/// in flight for as long as the test wants.
struct InFlight : ::testing::Test
{
    InFlight() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}}; }

    montest::HeldLink held;
    link::LineWorker worker{montest::linkFactory(held)};
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    link::DeviceContext device{worker, ports, notifier};
    test::MapStore store;
    QTemporaryDir dir;
    session::Session session{device, store, dir.path()};
};

bool waitFor(const std::function<bool()> &done)
{
    return QTest::qWaitFor(done, 5000);
}

// File > Exit during an update refuses before any window is closed.
TEST_F(InFlight, ExitDuringAnUpdateClosesNothing)
{
    held.responder = [](const Bytes &command) {
        if (command[0] == 16)
            return montest::HeldLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
        return montest::HeldLink::Reply{};
    };
    app::MDIForm1 main(session);
    main.show();
    for (const char *item : {"mnuMonitor", "mnuSetID003", "mnuUpdateXLT"})
        main.findChild<QAction *>(item)->trigger();
    auto *mdi = main.findChild<QMdiArea *>();
    ASSERT_EQ(mdi->subWindowList().size(), 3);
    auto *updateWindow = main.findChild<update::frmXLTUpdate *>();
    const QString file = writeDpc(dir.filePath("u.dpc"), 3);
    updateWindow->setFileChooser([&](QWidget *) { return std::optional(file); });
    updateWindow->findChild<QPushButton *>("bttnOpen")->click();
    held.answer(); // the open step's identity read
    auto *start = updateWindow->findChild<QPushButton *>("bttnUpdate");
    ASSERT_TRUE(waitFor([&] { return start->isEnabled(); }));
    start->click();
    ASSERT_TRUE(updateWindow->updating());
    ASSERT_TRUE(waitFor([&] { return held.held() == "command 16"; }));
    notifier.messages.clear();

    EXPECT_FALSE(main.close());
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"The firmware update is still running. "
                                                         "Wait until it has ended, then close "
                                                         "the window."});
    held.passAll();
    ASSERT_TRUE(waitFor([&] { return !updateWindow->updating(); }));
    std::vector<int> codes;
    for (const Bytes &command : held.sent())
        codes.push_back(command[0]);
    // The identity before and after, and the three blocks.
    EXPECT_EQ(codes, (std::vector<int>{16, 16, 21, 21, 21, 16}));
}

// Each window closed and deleted while its request is in flight: the request gives up at once,
// nothing freed is touched, no message comes, the port ends closed and the device free. (The
// monitor's own cases are in the monitor window's tests.)
TEST_F(InFlight, ClosingEachWindowWithARequestInFlight)
{
    held.responder = [](const Bytes &command) {
        if (command[0] == 16)
            return montest::HeldLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
        return montest::HeldLink::Reply{link::ReplyOk, Bytes(128, 0)};
    };
    const QString file = writeDpc(dir.filePath("u.dpc"), 3);
    const std::vector<std::pair<const char *, std::function<QWidget *()>>> windows = {
        {"PR01 read",
         [&] {
             auto *w = new pr01::frmSetID003(session);
             w->findChild<QPushButton *>("bttnGetCfg")->click();
             return w;
         }},
        {"PR01 detection start",
         [&] {
             auto *w = new pr01::frmSetID003(session);
             w->findChild<QPushButton *>("bttnAutoCfg")->click();
             return w;
         }},
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
        ASSERT_TRUE(waitFor([&] { return !held.held().empty(); }));
        EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
        window->close();
        delete window.data();
        ASSERT_TRUE(montest::settle(worker));
        EXPECT_FALSE(held.isOpen());
        EXPECT_EQ(device.holder, "");
        EXPECT_TRUE(notifier.messages.empty());
    }
}

} // namespace
