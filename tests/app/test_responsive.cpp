// The windows against a device that answers at the speed of a real line (the emulator on a
// pseudo-terminal, replies paced at 9600 baud) or not at all, with the line on its own thread
// as in the program: the window thread keeps running events throughout.
#include "app/ui/MDIForm1.h"
#include "core/QtScheduler.h"
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmMonitor.h"
#include "options/ui/frmOptions.h"
#include "pr01/ui/frmSetID003.h"
#include "session/Session.h"
#include "sim/PtyServer.h"
#include "support/BusyProbe.h"
#include "support/FakeLink.h"
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
#include <gtest/gtest.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

namespace {

/// The longest stretch the window thread may go without running events (not counting the
/// time the system kept it off the processor: see BusyProbe).
constexpr double kMaxStretchMs = 16.0;

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

/// A line that notes when each request was handed over and when its result came back.
class RecordingLine final : public link::DeviceLine
{
public:
    explicit RecordingLine(link::DeviceLine &inner)
        : m_inner(inner)
    {}
    void submit(Job job, Done done) override
    {
        submitted.push_back(Clock::now());
        m_inner.submit(std::move(job), [this, done = std::move(done)] {
            finished.push_back(Clock::now());
            if (done)
                done();
        });
    }
    bool immediate() const override { return false; }
    std::vector<Clock::time_point> submitted;
    std::vector<Clock::time_point> finished;

private:
    link::DeviceLine &m_inner;
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
    link::LineWorker worker{[this] { return std::make_unique<link::SerialLink>(*ports); }};
    RecordingLine line{worker};
    test::RecordingNotifier notifier;
    core::QtScheduler scheduler;
    link::DeviceContext device{line, *ports, notifier, scheduler};
    test::MapStore store;
    session::Session session{device, store, dir.path()};
    test::BusyProbe probe;
};

// Flood traffic at 9600 baud: each poll's reply takes about a quarter of a second on the line,
// and the window thread never goes more than 16 ms without events.
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
    ASSERT_TRUE(waitFor([&] { return line.finished.size() >= 6; }));
    EXPECT_LE(probe.take(), kMaxStretchMs);
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
    EXPECT_LE(probe.take(), kMaxStretchMs);
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
    EXPECT_LE(probe.take(), kMaxStretchMs);
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
    const std::size_t before = line.submitted.size(); // the open step's identity read
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
    ASSERT_EQ(line.submitted.size(), before + 260);
    // Block 255 is request `before + 255`; block 256 was handed over three seconds after it.
    const auto pause = line.submitted[before + 256] - line.finished[before + 255];
    const double pauseMs = std::chrono::duration<double, std::milli>(pause).count();
    EXPECT_NEAR(pauseMs, 3000.0, 100.0);
}

/// The main window over a line the test runs by hand: requests stay in flight for as long as
/// the test wants.
struct InFlight : ::testing::Test
{
    InFlight() { ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/ttyACM0"}}; }

    test::FakeLink fake;
    test::ManualLine line{fake};
    test::FakePortSource ports;
    test::RecordingNotifier notifier;
    test::ImmediateScheduler scheduler;
    link::DeviceContext device{line, ports, notifier, scheduler};
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
    const QString file = writeDpc(dir.filePath("u.dpc"), 3);
    updateWindow->setFileChooser([&](QWidget *) { return std::optional(file); });
    updateWindow->findChild<QPushButton *>("bttnOpen")->click();
    line.runAll();
    updateWindow->findChild<QPushButton *>("bttnUpdate")->click();
    ASSERT_TRUE(updateWindow->updating());
    notifier.messages.clear();

    EXPECT_FALSE(main.close());
    EXPECT_EQ(mdi->subWindowList().size(), 3);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"The firmware update is still running. "
                                                         "Wait until it has ended, then close "
                                                         "the window."});
    line.runAll();
    EXPECT_FALSE(updateWindow->updating());
    EXPECT_EQ(fake.sent.size(), 4u); // the identity and three blocks
}

// Each window closed and deleted while its request is in flight: the result is dropped when
// it comes, nothing freed is touched, the port ends closed and the device free.
TEST_F(InFlight, ClosingEachWindowWithARequestInFlight)
{
    fake.responder = [](const Bytes &command) {
        if (command[0] == 16)
            return test::FakeLink::Reply{link::ReplyOk, {'P', 'R', '0', '1'}};
        return test::FakeLink::Reply{link::ReplyOk, Bytes(128, 0)};
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
        {"monitor start",
         [&] {
             auto *w = new monitor::frmMonitor(session);
             w->findChild<QPushButton *>("bttnRun")->click();
             return w;
         }},
    };
    for (const auto &[what, open] : windows) {
        SCOPED_TRACE(what);
        QPointer<QWidget> window = open();
        window->show();
        ASSERT_GT(line.pending(), 0u);
        EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
        window->close();
        delete window.data();
        line.runAll();
        EXPECT_FALSE(fake.isOpen);
        EXPECT_EQ(device.holder, "");
        EXPECT_TRUE(notifier.messages.empty());
    }
}

} // namespace
