// Opening a capture of a million records in the analysis view (frmCapture), offscreen. Prints
// the figures; fails nothing.
//
//   bench_capture_view [RECORDS]
//
// The capture is made here: replies of four records each (an SSP poll and its answer, an ID003
// status request and its answer, 7 and 3 ms after their requests), every 97th host answer with
// a broken CRC, RECORDS (default 1,000,000) records in all, written as a run writes its capture.
//
// Figures: time from opening to the first screen (the first replies listed and the lists
// painted) and to every record listed; resident memory then (and the peak); a word filter and
// a crc=bad filter applied to the timeline (every record); a page down with its repaint.
#include "core/Notifier.h"
#include "monitor/CaptureFile.h"
#include "monitor/TrafficListing.h"
#include "monitor/ui/TrafficListBox.h"
#include "monitor/ui/frmCapture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace xlt;

namespace {

struct PrintingNotifier final : core::Notifier
{
    void message(core::Icon, const std::string &text) override
    {
        std::printf("message: %s\n", text.c_str());
    }
};

std::vector<std::uint8_t> record(std::uint8_t tag, std::uint32_t offset,
                                 std::vector<std::uint8_t> frame)
{
    std::vector<std::uint8_t> out{tag};
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(offset >> shift));
    out.push_back(static_cast<std::uint8_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

QByteArray makeCapture(long records)
{
    monitor::CaptureHeader header;
    header.started = "2026-12-07T11:30:52+01:00";
    header.portName = "COM129";
    header.deviceNode = "/dev/pts/5";
    header.program = "1.0.0.1";
    std::string text = monitor::captureHeaderText(header);
    text.reserve(static_cast<std::size_t>(records) * 40);
    for (long r = 0; r < records / 4; ++r) {
        const auto at = static_cast<std::uint32_t>(r * 50);
        std::vector<std::uint8_t> reply;
        for (const auto &part :
             {record(monitor::kTagTargetTx, at, {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}),
              record(monitor::kTagTargetRx, at + 7, {0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80}),
              record(monitor::kTagHostTx, at + 1, {0xFC, 0x05, 0x11, 0x27, 0x56}),
              record(monitor::kTagHostRx, at + 4,
                     {0xFC, 0x05, 0x1A, 0xF4, static_cast<std::uint8_t>(r % 97 ? 0xE8 : 0xE9)})})
            reply.insert(reply.end(), part.begin(), part.end());
        text += monitor::captureReplyLine(reply);
    }
    return QByteArray::fromStdString(text);
}

long residentKb(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')[0]
                .toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 1'000'000;

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.xltcap");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(makeCapture(records)) < 0)
            return 1;
        std::printf("capture: %ld records, %.1f MB\n", records,
                    static_cast<double>(file.size()) / 1e6);
    }
    const long before = residentKb("VmRSS:");

    PrintingNotifier notifier;
    QElapsedTimer clock;
    clock.start();
    auto *view = new monitor::frmCapture(notifier, path);
    view->resize(1200, 800);
    view->show();
    double firstScreen = -1;
    QObject::connect(view, &monitor::frmCapture::listed, [&](bool) {
        if (firstScreen < 0) {
            for (const char *name : {"List1", "List2"})
                view->findChild<monitor::TrafficListBox *>(name)->viewport()->repaint();
            firstScreen = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
    });
    if (!QTest::qWaitFor([&] { return view->complete(); }, 120'000)) {
        std::printf("not complete after 120 s\n");
        return 1;
    }
    const double whole = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    std::printf("first screen: %.0f ms (target 2000)\n", firstScreen);
    std::printf("every record listed: %.0f ms (target 5000)\n", whole);
    std::printf("resident memory: %ld MB (%ld MB before opening; peak %ld MB; target 400)\n",
                residentKb("VmRSS:") / 1024, before / 1024, residentKb("VmHWM:") / 1024);
    std::printf("%s\n", view->findChild<QLabel *>("lblHeader")->text().toUtf8().constData());

    view->findChild<QTabWidget *>("tabTraffic")->setCurrentIndex(1); // the timeline in view
    QCoreApplication::processEvents();
    auto *timeline = view->findChild<monitor::TrafficListBox *>("List3");
    auto *filter = view->findChild<QLineEdit *>("txtFilterTimeline");
    for (const char *text : {"DISABLED", "crc=bad", "7F 80 01 F0", "side=host !status", ""}) {
        clock.restart();
        filter->setText(QString::fromLatin1(text));
        timeline->viewport()->repaint();
        std::printf("timeline filter \"%s\": %.1f ms, %d of %d records shown (target 200)\n", text,
                    static_cast<double>(clock.nsecsElapsed()) / 1e6,
                    timeline->shownTrafficRecords(), timeline->trafficRecords());
    }

    timeline->setFollow(false);
    timeline->setCurrentRow(0);
    const int pages = 200;
    double worst = 0;
    QElapsedTimer all;
    all.start();
    for (int k = 0; k < pages; ++k) {
        clock.restart();
        QTest::keyClick(timeline, Qt::Key_PageDown);
        timeline->viewport()->repaint();
        worst = std::max(worst, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("page down and repaint: %.3f ms mean, %.3f ms worst (target 16), row %d\n",
                static_cast<double>(all.nsecsElapsed()) / 1e6 / pages, worst,
                timeline->currentRow());
    delete view;
    return 0;
}
