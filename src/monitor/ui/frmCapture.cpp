#include "frmCapture.h"

#include "ListFilter.h"
#include "ReplyTimePlot.h"
#include "TrafficListBox.h"
#include "core/FileIo.h"
#include "core/Notifier.h"
#include "core/Text.h"
#include "frmMonitor.h"
#include "monitor/CaptureIndex.h"
#include "monitor/ui/ui_frmCapture.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <array>

namespace xlt::monitor {

frmCapture::frmCapture(core::Notifier &notifier, const QString &path, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::frmCapture>())
    , m_notifier(notifier)
    , m_path(path)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QApplication::windowIcon());
    setWindowTitle(QStringLiteral("%1 - %2").arg(windowTitle(), QFileInfo(path).fileName()));
    ui->lblHeader->setText(QStringLiteral("Reading %1 ...").arg(path));
    ui->lblHeader->setToolTip(path);

    const std::tuple<QLineEdit *, QLabel *, TrafficListBox *> filters[] = {
        {ui->txtFilterTarget, ui->lblCountTarget, ui->List1},
        {ui->txtFilterHost, ui->lblCountHost, ui->List2},
        {ui->txtFilterTimeline, ui->lblCountTimeline, ui->List3}};
    for (const auto &[edit, count, list] : filters) {
        m_filters.push_back(new ListFilter(edit, count, list));
        connect(list, &TrafficListBox::followChanged, ui->chkFollow, &QCheckBox::setChecked);
        const auto exporting = [this, list = list](bool csv) {
            const QString error =
                frmMonitor::exportChosen(this, *list, csv, QFileInfo(m_path).absolutePath());
            if (!error.isEmpty())
                m_notifier.message(core::Icon::Exclamation, core::fromQString(error));
        };
        connect(list, &TrafficListBox::exportRequested, this, [exporting] { exporting(false); });
        connect(list, &TrafficListBox::exportCsvRequested, this, [exporting] { exporting(true); });
    }
    // A capture is read from its start: the lists stay at the top while the rest comes in.
    for (TrafficListBox *list : {ui->List1, ui->List2, ui->List3})
        list->setFollow(false);
    connect(ui->chkFollow, &QCheckBox::toggled, this, [this](bool on) {
        for (TrafficListBox *list : {ui->List1, ui->List2, ui->List3})
            list->setFollow(on);
    });
    connect(ui->pltReplies, &ReplyTimePlot::pointClicked, this,
            [this](PlotSeries series, double seconds) {
                ui->List3->selectRecord([series, seconds](const RecordFacts &facts) {
                    return isPlotRecord(series, seconds, facts);
                });
            });

    // What the reader posts is dropped once the window has gone (the context object).
    CaptureOpening opening;
    opening.indexed = [this](std::shared_ptr<const CaptureIndex> index, bool whole) {
        QMetaObject::invokeMethod(
            this,
            [this, index = std::move(index), whole]() mutable {
                showIndex(std::move(index), whole);
            },
            Qt::QueuedConnection);
    };
    opening.refused = [this](const std::string &reason) {
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                m_notifier.message(core::Icon::Exclamation,
                                   "The capture file " + core::pathText(core::toPath(m_path)) +
                                       " could not be opened: " + reason);
                emit refused();
                close();
            },
            Qt::QueuedConnection);
    };
    m_reader =
        std::jthread([opening, file = core::toPath(path)](const std::stop_token &stop) mutable {
            opening.stopped = [stop] { return stop.stop_requested(); };
            openCapture(file, opening);
        });
}

frmCapture::~frmCapture()
{
    m_reader.request_stop();
    if (m_reader.joinable())
        m_reader.join();
}

void frmCapture::showIndex(std::shared_ptr<const CaptureIndex> index, bool whole)
{
    m_index = std::move(index);
    m_complete = whole;
    ui->List1->setSource(captureSource(m_index, CaptureIndex::List::Target));
    ui->List2->setSource(captureSource(m_index, CaptureIndex::List::Host));
    ui->List3->setSource(captureSource(m_index, CaptureIndex::List::Timeline));
    for (ListFilter *filter : m_filters)
        filter->refresh();
    ui->lblTarget->setText(core::toQString(m_index->targetProtocol()));
    ui->lblHost->setText(core::toQString(m_index->hostProtocol()));
    const std::pair<QLabel *, QString> statuses[] = {
        {ui->lblTargetStatus, m_index->summary(true).text()},
        {ui->lblHostStatus, m_index->summary(false).text()}};
    for (const auto &[label, text] : statuses) {
        label->setText(text);
        label->setToolTip(text);
    }
    ui->lblHeader->setText(whole ? captureHeaderLines(*m_index)
                                 : QStringLiteral("Reading %1 ... %2 records so far")
                                       .arg(m_path)
                                       .arg(m_index->records()));
    if (whole)
        plotTail();
    emit listed(whole);
}

void frmCapture::plotTail()
{
    const std::vector<std::uint32_t> &timeline = m_index->list(CaptureIndex::List::Timeline);
    std::vector<RecordFacts> facts;
    facts.reserve(timeline.size());
    for (const std::uint32_t record : timeline)
        facts.push_back(m_index->facts(record));
    ui->pltReplies->setRecords(facts);
}

} // namespace xlt::monitor
