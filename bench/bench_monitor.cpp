// The monitor window against the emulator's flood (every capture-read reply full), for a fixed
// time, with both lists started close to the 30000-line cap, the exchanges on the line's own
// thread as in the program. Prints the figures; fails nothing.
//
//   bench_monitor [SECONDS] [--pty] [--pace] [--filter TEXT] [--timeline]
//
// SECONDS (default 20) is the length of the run. With --pty the emulator serves the device on a
// pseudo-terminal and the real serial link talks to it; otherwise the in-process link is used
// and the exchange itself costs next to nothing. --pace (with --pty) makes the emulator send its
// replies at 9600 baud, about 1.04 ms a byte, as a real device does. --filter sets TEXT in the
// three lists' filter boxes for the run (the CRC and reply-time checks are always on). First it
// times the filter applied to a full list of 30000 lines. --timeline shows the Timeline tab (its
// list and the reply-time plot, which then draws each reply's points) instead of the two sides.
//
// Figures: replies per second; the exchange (capture-read sent to reply in) and the poll period
// (reply in to the next capture-read sent) against the 50 ms target, on the line's thread; how
// long each reply waited for the window thread; the longest stretch in which the window thread
// could run no events (the longest delivery of one event, see BusyProbe), over all, near the
// cap and in the deliveries that emptied a list at the cap; resident memory when the first list
// reached the cap and at the end.
#include "link/LineWorker.h"
#include "link/SerialLink.h"
#include "link/SystemPorts.h"
#include "link/XLT_protocol.h"
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
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
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

/// When each capture-read was sent and its reply came in, on the line's thread.
struct Exchanges
{
    std::mutex mutex;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> times;
    Clock::time_point lastReply()
    {
        const std::lock_guard lock(mutex);
        return times.empty() ? Clock::time_point{} : times.back().second;
    }
};

/// The link, timing the capture-reads.
class TimingLink final : public link::LinkLibrary
{
public:
    TimingLink(std::unique_ptr<link::LinkLibrary> inner, Exchanges &exchanges)
        : m_inner(std::move(inner))
        , m_exchanges(exchanges)
    {}
    std::int16_t OpenXLTComPort(link::XLTPacket &p) override { return m_inner->OpenXLTComPort(p); }
    std::int16_t XLTSendCommand(link::XLTPacket &p) override
    {
        const Clock::time_point sent = Clock::now();
        const std::int16_t result = m_inner->XLTSendCommand(p);
        if (p.CommandData[0] == link::kCmdCaptureRead) {
            const std::lock_guard lock(m_exchanges.mutex);
            m_exchanges.times.emplace_back(sent, Clock::now());
        }
        return result;
    }
    std::int16_t CloseXLTComPort() override { return m_inner->CloseXLTComPort(); }
    std::string openFailureText() const override { return m_inner->openFailureText(); }
    void setInterrupt(std::function<bool()> f) override { m_inner->setInterrupt(std::move(f)); }

private:
    std::unique_ptr<link::LinkLibrary> m_inner;
    Exchanges &m_exchanges;
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
    std::vector<double> periods;   ///< reply in to the next capture-read sent
    std::vector<double> exchanges; ///< capture-read sent to reply in
    std::vector<double> waits;     ///< reply in to its delivery on the window thread
    double worstGap = 0;
    double worstWall = 0; ///< the same in wall-clock time, the machine's load included
    double worstGapNearCap = 0;
    double worstGapClearing = 0; ///< over the deliveries that emptied a list at the cap
    int nearCap = 0;
    int capClears = 0;
    long rssAtCap = -1;
};

/// Watches the deliveries from the line to the window thread (events to the line's object):
/// each one closes the books on the stretch since the one before, and a delivery that follows a
/// new reply is that reply's, so the time since the reply is how long it waited.
class DeliveryTimer final : public QObject
{
public:
    DeliveryTimer(Exchanges &exchanges, test::BusyProbe &probe, monitor::TrafficListBox *list1,
                  monitor::TrafficListBox *list2, Stats &stats)
        : m_exchanges(exchanges)
        , m_probe(probe)
        , m_list1(list1)
        , m_list2(list2)
        , m_stats(stats)
    {}

    /// Closes the books on the last stretch.
    void finish() { closeStretch(); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::MetaCall)
            return false;
        const Clock::time_point reply = m_exchanges.lastReply();
        if (reply != Clock::time_point{} && reply != m_lastReply) {
            m_stats.waits.push_back(ms(Clock::now() - reply));
            m_lastReply = reply;
        }
        closeStretch();
        m_started = true;
        m_before = std::max(m_list1->count(), m_list2->count());
        return false;
    }

private:
    void closeStretch()
    {
        if (!m_started)
            return;
        m_stats.worstWall = std::max(m_stats.worstWall, m_probe.worstWallMs);
        const double gap = m_probe.take();
        m_stats.worstGap = std::max(m_stats.worstGap, gap);
        if (m_before >= kNearCap) {
            ++m_stats.nearCap;
            m_stats.worstGapNearCap = std::max(m_stats.worstGapNearCap, gap);
        }
        if (std::max(m_list1->count(), m_list2->count()) < m_before) {
            ++m_stats.capClears;
            m_stats.worstGapClearing = std::max(m_stats.worstGapClearing, gap);
            if (m_stats.rssAtCap < 0)
                m_stats.rssAtCap = residentKiB();
        }
    }

    Exchanges &m_exchanges;
    test::BusyProbe &m_probe;
    monitor::TrafficListBox *m_list1;
    monitor::TrafficListBox *m_list2;
    Stats &m_stats;
    bool m_started = false;
    Clock::time_point m_lastReply{};
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
                static_cast<double>(s.exchanges.size()) / seconds);
    std::printf("exchange, mean / worst        %8.2f / %.2f ms\n", mean(s.exchanges),
                worst(s.exchanges));
    std::printf("poll period, mean / worst     %8.2f / %.2f ms from a reply to the next "
                "capture-read (target 50 ms)\n",
                mean(s.periods), worst(s.periods));
    std::printf("reply waits for the window    %8.2f / %.2f ms mean / worst\n", mean(s.waits),
                worst(s.waits));
    std::printf("worst stretch without events  %8.2f ms (target at most 16 ms)\n", s.worstGap);
    std::printf("  in wall-clock time          %8.2f ms (the machine's load included)\n",
                s.worstWall);
    std::printf("  near the cap                %8.2f ms over %d deliveries with a list >= %d "
                "lines\n",
                s.worstGapNearCap, s.nearCap, kNearCap);
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

/// The Timeline tab is shown during the run (--timeline).
bool showTimeline = false;

void runOnce(const char *title, link::LineWorker::LinkFactory factory, link::PortSource &ports,
             int seconds, const QString &filter)
{
    Exchanges exchanges;
    link::LineWorker worker([&exchanges, factory = std::move(factory)] {
        return std::make_unique<TimingLink>(factory(), exchanges);
    });
    CountingNotifier notifier;
    link::DeviceContext device(worker, ports, notifier);
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
        if (showTimeline)
            window.findChild<QTabWidget *>(QStringLiteral("tabTraffic"))->setCurrentIndex(1);
        QCoreApplication::processEvents();

        test::BusyProbe probe;
        DeliveryTimer timing(exchanges, probe, list1, list2, stats);
        worker.installEventFilter(&timing);

        window.findChild<QPushButton *>(QStringLiteral("bttnRun"))->click();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(seconds), &loop, &QEventLoop::quit);
        loop.exec();
        window.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        auto *run = window.findChild<QPushButton *>(QStringLiteral("bttnRun"));
        while (!run->isEnabled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        timing.finish();
        worker.removeEventFilter(&timing);
        rssEnd = residentKiB();
    }
    worker.stop();
    for (std::size_t k = 0; k < exchanges.times.size(); ++k) {
        const auto &[sent, replied] = exchanges.times[k];
        stats.exchanges.push_back(ms(replied - sent));
        if (k > 0)
            stats.periods.push_back(ms(sent - exchanges.times[k - 1].second));
    }
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
        else if (std::strcmp(argv[i], "--timeline") == 0)
            showTimeline = true;
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
