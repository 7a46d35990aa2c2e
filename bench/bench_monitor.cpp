// The monitor window against the emulator's flood (every capture-read reply full), for a fixed
// time, with both lists started close to the 30000-line cap, the exchanges on the line's own
// thread as in the program. Prints the figures; fails nothing.
//
//   bench_monitor [SECONDS] [--pty] [--pace] [--filter TEXT]
//
// SECONDS (default 20) is the length of the run. With --pty the emulator serves the device on a
// pseudo-terminal and the real serial link talks to it; otherwise the in-process link is used
// and the exchange itself costs next to nothing. --pace (with --pty) makes the emulator send its
// replies at 9600 baud, about 1.04 ms a byte, as a real device does. --filter sets TEXT in the
// three lists' filter boxes for the run (the CRC and reply-time checks are always on). First it
// times the filter applied to a full list of 30000 lines.
//
// Figures: replies per second; the poll tick (timer to reply listed) and the poll period (end of
// one tick to the start of the next) against the 50 ms target; the longest stretch in which the
// window thread could run no events (the longest delivery of one event, see BusyProbe);
// resident memory when the first list reached the cap and at the end.
#include "core/QtScheduler.h"
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "monitor/TrafficListing.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmMonitor.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "sim/DeviceModel.h"
#include "sim/InProcessLink.h"
#include "sim/PtyServer.h"
#include "support/BusyProbe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
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

/// A line that notes when each request's result reaches the window thread.
class TimingLine final : public link::DeviceLine
{
public:
    explicit TimingLine(link::DeviceLine &inner)
        : m_inner(inner)
    {}
    void submit(Job job, Done done) override
    {
        m_inner.submit(std::move(job), [this, done = std::move(done)] {
            lastDone = Clock::now();
            if (done)
                done();
        });
    }
    bool immediate() const override { return m_inner.immediate(); }
    Clock::time_point lastDone{};

private:
    link::DeviceLine &m_inner;
};

class SilentStore final : public session::SettingsStore
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
    std::vector<double> periods; ///< end of a tick (reply listed) to the next timer
    std::vector<double> ticks;   ///< timer to reply listed
    double worstGap = 0;
    double worstWall = 0; ///< the same in wall-clock time, the machine's load included
    double worstGapNearCap = 0;
    double worstGapClearing = 0; ///< over the ticks that emptied a list at the cap
    int ticksNearCap = 0;
    int capClears = 0;
    long rssAtCap = -1;
};

/// Times every poll tick: the timer's event starts it, the arrival of its reply ends it (the
/// next timer event closes the books on the previous tick).
class TickTimer final : public QObject
{
public:
    TickTimer(TimingLine &line, test::BusyProbe &probe, monitor::TrafficListBox *list1,
              monitor::TrafficListBox *list2, Stats &stats)
        : m_line(line)
        , m_probe(probe)
        , m_list1(list1)
        , m_list2(list2)
        , m_stats(stats)
    {}

    /// Closes the books on the last tick.
    void finish() { closeTick(); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        const Clock::time_point start = Clock::now();
        if (m_started)
            m_stats.periods.push_back(ms(start - m_line.lastDone));
        closeTick();
        m_started = true;
        m_start = start;
        m_before = std::max(m_list1->count(), m_list2->count());
        return false;
    }

private:
    void closeTick()
    {
        if (!m_started)
            return;
        m_stats.ticks.push_back(ms(m_line.lastDone - m_start));
        m_stats.worstWall = std::max(m_stats.worstWall, m_probe.worstWallMs);
        const double gap = m_probe.take();
        m_stats.worstGap = std::max(m_stats.worstGap, gap);
        if (m_before >= kNearCap) {
            ++m_stats.ticksNearCap;
            m_stats.worstGapNearCap = std::max(m_stats.worstGapNearCap, gap);
        }
        if (std::max(m_list1->count(), m_list2->count()) < m_before) {
            ++m_stats.capClears;
            m_stats.worstGapClearing = std::max(m_stats.worstGapClearing, gap);
            if (m_stats.rssAtCap < 0)
                m_stats.rssAtCap = residentKiB();
        }
    }

    TimingLine &m_line;
    test::BusyProbe &m_probe;
    monitor::TrafficListBox *m_list1;
    monitor::TrafficListBox *m_list2;
    Stats &m_stats;
    bool m_started = false;
    Clock::time_point m_start{};
    int m_before = 0;
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
    std::printf("tick (exchange + listing)     %8.2f / %.2f ms mean / worst\n", mean(s.ticks),
                worst(s.ticks));
    std::printf("poll period, mean / worst     %8.2f / %.2f ms after each tick (target 50 ms)\n",
                mean(s.periods), worst(s.periods));
    std::printf("worst stretch without events  %8.2f ms (target at most 16 ms)\n", s.worstGap);
    std::printf("  in wall-clock time          %8.2f ms (the machine's load included)\n",
                s.worstWall);
    std::printf("  near the cap                %8.2f ms over %d ticks with a list >= %d lines\n",
                s.worstGapNearCap, s.ticksNearCap, kNearCap);
    std::printf("cap clears                    %8d, worst stretch in them %.2f ms\n", s.capClears,
                s.worstGapClearing);
    std::printf("resident memory at first cap  %8ld KiB\n", s.rssAtCap);
    std::printf("resident memory at the end    %8ld KiB\n", rssEnd);
    std::printf("messages shown                %8d\n\n", messages);
}

/// The filter applied to a full list (the cap, 30000 lines of real records): milliseconds for
/// setting it and for clearing it again.
void filterFigures()
{
    monitor::TrafficListBox list;
    list.resize(600, 400);
    list.show();
    const QStringList kinds = {"CMD: POLL ", "GENERIC RSP: OK", "HOST CMD: STATUS REQUEST  ",
                               "XLT RSP: NOTE CREDIT 1 "};
    for (int r = 0; r < static_cast<int>(monitor::kListCap) / 5; ++r) {
        list.appendRecord({QStringLiteral("Packet #%1 ---------------------------------------------"
                                          "------------------")
                               .arg(r),
                           QStringLiteral("Packet time offset: %1ms").arg(r * 15),
                           QStringLiteral("XLT TX  7F 80 01 07 12 02 "), kinds[r % kinds.size()],
                           QStringLiteral(" ")});
    }
    for (const QString &text :
         {QStringLiteral("NOTE CREDIT"), QStringLiteral("7F 80"), QStringLiteral("no such text")}) {
        QElapsedTimer timer;
        timer.start();
        list.setFilter(text);
        const double setMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const int rows = list.rowCount();
        timer.restart();
        list.setFilter(QString());
        const double clearMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        std::printf("filter \"%s\" over %d lines  %6.2f ms (%d rows shown), cleared %.2f ms "
                    "(target at most 50 ms)\n",
                    text.toLatin1().constData(), list.count(), setMs, rows, clearMs);
    }
    std::printf("\n");
}

void runOnce(const char *title, link::LineWorker::LinkFactory factory, link::PortSource &ports,
             int seconds, const QString &filter)
{
    link::LineWorker worker(std::move(factory));
    TimingLine line(worker);
    core::QtScheduler scheduler;
    CountingNotifier notifier;
    link::DeviceContext device(line, ports, notifier, scheduler);
    SilentStore store;
    QTemporaryDir logDir;
    session::Session session(device, store, "/");
    session.LogPath = logDir.path();

    Stats stats;
    long rssEnd = 0;
    {
        monitor::frmMonitor window(session);
        window.resize(1100, 700);
        window.show();
        auto *list1 = prefilledList(window, "List1");
        auto *list2 = prefilledList(window, "List2");
        for (const char *name : {"txtFilterTarget", "txtFilterHost", "txtFilterTimeline"})
            window.findChild<QLineEdit *>(QLatin1String(name))->setText(filter);
        QCoreApplication::processEvents();

        test::BusyProbe probe;
        TickTimer timing(line, probe, list1, list2, stats);
        window.findChild<QTimer *>(QStringLiteral("tmrPoll"))->installEventFilter(&timing);

        window.findChild<QPushButton *>(QStringLiteral("bttnRun"))->click();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(seconds), &loop, &QEventLoop::quit);
        loop.exec();
        window.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        auto *run = window.findChild<QPushButton *>(QStringLiteral("bttnRun"));
        while (!run->isEnabled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        timing.finish();
        rssEnd = residentKiB();
    }
    worker.stop();
    printFigures(title, stats, seconds, rssEnd, notifier.count);
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::ProbedApplication app(argc, argv);
    int seconds = 20;
    bool pty = false;
    bool pace = false;
    QString filter;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pty") == 0)
            pty = true;
        else if (std::strcmp(argv[i], "--filter") == 0 && i + 1 < argc)
            filter = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--pace") == 0)
            pace = true;
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }

    filterFigures();
    if (!filter.isEmpty())
        std::printf("runs with the filter \"%s\" on all three lists\n\n",
                    filter.toLocal8Bit().constData());
    sim::DeviceOptions options;
    options.traffic = sim::TrafficLevel::Flood;
    options.pace9600 = pace;
    if (!pty) {
        // The model is used by the line's thread only, once the run has started.
        sim::DeviceModel model(options);
        struct OnePort final : link::PortSource
        {
            std::vector<link::PortRecord> ports() override
            {
                return {{"\\Device\\USBSERV0", "COM129", "in-process"}};
            }
        } ports;
        runOnce(
            "monitor window, emulated flood, in-process link",
            [&model] { return std::make_unique<sim::InProcessLink>(model); }, ports, seconds,
            filter);
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
    runOnce(
        pace ? "monitor window, emulated flood at 9600-baud pace, serial link over a pty"
             : "monitor window, emulated flood, serial link over a pty",
        [&ports] { return std::make_unique<link::SerialLink>(*ports); }, *ports, seconds, filter);
    return 0;
}
