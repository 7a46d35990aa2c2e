// The monitor window against the emulator's flood (every capture-read reply full), for a fixed
// time, with both lists started close to the 30000-line cap. Prints the figures; fails nothing.
//
//   bench_monitor [SECONDS] [--pty]
//
// SECONDS (default 20) is the length of the run. With --pty the emulator serves the device on a
// pseudo-terminal and the real serial link talks to it; otherwise the in-process link is used
// and the exchange itself costs next to nothing.
//
// Figures: replies per second; the poll period (end of one tick to the start of the next) against
// the 50 ms target; the tick length; the longest stretch in which the window thread ran no
// events during a tick (the cap clears included); resident memory when the first list reached
// the cap and at the end.
#include "app/Session.h"
#include "app/Settings.h"
#include "app/ui/QtEventPump.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmMonitor.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "sim/PtyServer.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace xlt;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPrefill = 27000; // lines in each list before Run
constexpr int kNearCap = 25000; // a tick counts as "near the cap" from here on

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

/// The application's event pump, timing each pass so that the gaps between passes show.
class TimingPump final : public core::EventPump
{
public:
    void processEvents() override
    {
        const Clock::time_point start = Clock::now();
        noteBusy(start);
        m_inner.processEvents();
        m_lastFree = Clock::now();
    }
    void pumpFor(std::chrono::milliseconds d) override { m_inner.pumpFor(d); }

    void tickStarted(Clock::time_point at) { m_lastFree = at; }
    void tickEnded(Clock::time_point at) { noteBusy(at); }
    /// The longest stretch without an event pass in the current tick; resets it.
    Clock::duration takeWorstBusy() { return std::exchange(m_worstBusy, {}); }

private:
    void noteBusy(Clock::time_point until)
    {
        m_worstBusy = std::max(m_worstBusy, until - m_lastFree);
    }

    app::QtEventPump m_inner;
    Clock::time_point m_lastFree{};
    Clock::duration m_worstBusy{};
};

class SilentStore final : public app::SettingsStore
{
public:
    QString read(const QString &, const QString &, const QString &f) override { return f; }
    void write(const QString &, const QString &, const QString &) override {}
};

class CountingNotifier final : public core::Notifier
{
public:
    void message(core::Icon, const std::string &text) override
    {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++count;
    }
    int count = 0;
};

struct Stats
{
    std::vector<double> periods;
    std::vector<double> ticks;
    double worstBusy = 0;
    double worstBusyNearCap = 0;
    double worstBusyClearing = 0; ///< over the ticks that emptied a list at the cap
    int ticksNearCap = 0;
    int capClears = 0;
    long rssAtCap = -1;
};

/// Times every poll tick: the filter runs the tick itself, between two clock readings.
class TickTimer final : public QObject
{
public:
    TickTimer(TimingPump &pump, monitor::TrafficListBox *list1, monitor::TrafficListBox *list2,
              Stats &stats)
        : m_pump(pump)
        , m_list1(list1)
        , m_list2(list2)
        , m_stats(stats)
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        const int before = std::max(m_list1->count(), m_list2->count());
        const Clock::time_point start = Clock::now();
        if (m_lastEnd != Clock::time_point{})
            m_stats.periods.push_back(ms(start - m_lastEnd));
        m_pump.tickStarted(start);
        watched->event(event);
        const Clock::time_point end = Clock::now();
        m_pump.tickEnded(end);
        m_lastEnd = end;
        record(before, ms(m_pump.takeWorstBusy()), ms(end - start));
        return true;
    }

private:
    void record(int linesBefore, double busy, double tick)
    {
        m_stats.ticks.push_back(tick);
        m_stats.worstBusy = std::max(m_stats.worstBusy, busy);
        if (linesBefore >= kNearCap) {
            ++m_stats.ticksNearCap;
            m_stats.worstBusyNearCap = std::max(m_stats.worstBusyNearCap, busy);
        }
        const int after = std::max(m_list1->count(), m_list2->count());
        if (after < linesBefore) {
            ++m_stats.capClears;
            m_stats.worstBusyClearing = std::max(m_stats.worstBusyClearing, busy);
            if (m_stats.rssAtCap < 0)
                m_stats.rssAtCap = residentKiB();
        }
    }

    TimingPump &m_pump;
    monitor::TrafficListBox *m_list1;
    monitor::TrafficListBox *m_list2;
    Stats &m_stats;
    Clock::time_point m_lastEnd{};
};

monitor::TrafficListBox *prefilledList(monitor::frmMonitor &window, const char *name)
{
    auto *lines = window.findChild<monitor::TrafficListBox *>(QLatin1String(name));
    for (int i = 0; i < kPrefill; ++i)
        lines->append(QStringLiteral("prefilled line %1").arg(i));
    lines->setCurrentRow(lines->count() - 1);
    return lines;
}

void printFigures(const char *title, const Stats &s, int seconds, long rssEnd, int messages)
{
    auto mean = [](const std::vector<double> &v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
    };
    auto worst = [](const std::vector<double> &v) {
        return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
    };
    std::printf("== %s, %d s ==\n", title, seconds);
    std::printf("replies per second            %8.1f\n",
                static_cast<double>(s.ticks.size()) / seconds);
    std::printf("poll period, mean / worst     %8.2f / %.2f ms (target 50 ms)\n", mean(s.periods),
                worst(s.periods));
    std::printf("tick (exchange + listing)     %8.2f / %.2f ms mean / worst\n", mean(s.ticks),
                worst(s.ticks));
    std::printf("worst busy stretch, any tick  %8.2f ms (target at most 16 ms)\n", s.worstBusy);
    std::printf("worst busy stretch, near cap  %8.2f ms over %d ticks with a list >= %d lines\n",
                s.worstBusyNearCap, s.ticksNearCap, kNearCap);
    std::printf("cap clears                    %8d, worst busy stretch in them %.2f ms\n",
                s.capClears, s.worstBusyClearing);
    std::printf("resident memory at first cap  %8ld KiB\n", s.rssAtCap);
    std::printf("resident memory at the end    %8ld KiB\n", rssEnd);
    std::printf("messages shown                %8d\n\n", messages);
}

void runOnce(const char *title, link::LinkLibrary &linkLibrary, link::PortSource &ports,
             int seconds)
{
    TimingPump pump;
    CountingNotifier notifier;
    link::DeviceContext device(linkLibrary, ports, notifier, pump);
    SilentStore store;
    QTemporaryDir logDir;
    app::Session session(device, store, "/");
    session.LogPath = logDir.path();

    monitor::frmMonitor window(session);
    window.resize(1100, 700);
    window.show();
    auto *list1 = prefilledList(window, "List1");
    auto *list2 = prefilledList(window, "List2");
    QCoreApplication::processEvents();

    Stats stats;
    TickTimer timing(pump, list1, list2, stats);
    window.findChild<QTimer *>(QStringLiteral("tmrPoll"))->installEventFilter(&timing);

    window.findChild<QPushButton *>(QStringLiteral("bttnRun"))->click();
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(seconds), &loop, &QEventLoop::quit);
    loop.exec();
    window.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    auto *run = window.findChild<QPushButton *>(QStringLiteral("bttnRun"));
    while (!run->isEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    stats.ticks.pop_back(); // the tick that stopped the run came after the fixed time
    printFigures(title, stats, seconds, residentKiB(), notifier.count);
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int seconds = 20;
    bool pty = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pty") == 0)
            pty = true;
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }

    sim::DeviceOptions options;
    options.traffic = sim::TrafficLevel::Flood;
    if (!pty) {
        sim::DeviceModel model(options);
        sim::InProcessLink linkLibrary(model);
        struct OnePort final : link::PortSource
        {
            std::vector<link::PortRecord> ports() override
            {
                return {{"\\Device\\USBSERV0", "COM129", "in-process"}};
            }
        } ports;
        runOnce("monitor window, emulated flood, in-process link", linkLibrary, ports, seconds);
        return 0;
    }

    QTemporaryDir registry;
    qputenv("XLT_SIM_DIR", registry.path().toLocal8Bit());
    std::string error;
    auto server = sim::PtyServer::start(options, {registry.path().toStdString()}, error);
    if (!server) {
        std::fprintf(stderr, "bench_monitor: no emulator: %s\n", error.c_str());
        return 1;
    }
    auto ports = link::makeSystemPortSource();
    link::SerialLink serial(*ports);
    runOnce("monitor window, emulated flood, serial link over a pty", serial, *ports, seconds);
    return 0;
}
