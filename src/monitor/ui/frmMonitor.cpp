#include "frmMonitor.h"

#include "ListFilter.h"
#include "ReplyTimePlot.h"
#include "TrafficListBox.h"
#include "core/EventPump.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "frmCapture.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficAnalysis.h"
#include "monitor/TrafficListing.h"
#include "monitor/ui/ui_frmMonitor.h"
#include "session/LogFolder.h"
#include "session/Session.h"
#include "session/ui/DeviceTitle.h"
#include "session/ui/frmSetDir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <functional>

namespace xlt::monitor {

namespace {

/// A list box as the listing's LineList. Each record's lines go to the list together, marked
/// when its CRC fails and with its reply time as a tooltip; the record also goes to the side's
/// summary and to the records waiting for the timeline.
class ListBoxLines final : public LineList
{
public:
    ListBoxLines(TrafficListBox *list, std::vector<TrafficRecord> &timeline)
        : m_list(list)
        , m_timeline(timeline)
    {}

    std::size_t count() const override
    {
        return m_list ? static_cast<std::size_t>(m_list->count()) : 0;
    }
    void clear() override
    {
        m_pending.clear();
        if (m_list)
            m_list->clear();
    }
    void add(const std::string &line) override { m_pending << core::toQString(line); }
    void recordDone(const ListedRecord &record) override
    {
        const RecordFacts facts = analyseRecord(summary, record);
        if (m_list)
            m_list->appendRecord(m_pending, facts);
        m_timeline.push_back({facts, std::move(m_pending)});
        m_pending.clear();
    }
    void selectLast() override
    {
        if (m_list)
            m_list->followNewest();
    }

    SideSummary summary;

private:
    QPointer<TrafficListBox> m_list;
    std::vector<TrafficRecord> &m_timeline;
    QStringList m_pending;
};

class LabelText final : public TextLabel
{
public:
    explicit LabelText(QLabel *label)
        : m_label(label)
    {}
    void setText(const std::string &text) override
    {
        if (m_label)
            m_label->setText(core::toQString(text));
    }

private:
    QPointer<QLabel> m_label;
};

} // namespace

/// Everything a reply touches: the lists' adapters, the listing and the run. Listing one reply
/// takes microseconds, so it runs straight through without letting other events in.
struct frmMonitor::Engine
{
    Engine(link::DeviceContext &context, TrafficListBox *list1, TrafficListBox *list2,
           QLabel *targetLabel, QLabel *hostLabel)
        : target(list1, timeline)
        , host(list2, timeline)
        , lblTarget(targetLabel)
        , lblHost(hostLabel)
        , listing(target, host, lblTarget, lblHost, pump)
        , run(context, listing)
    {}

    /// Records of both sides listed since the timeline was last brought up to date.
    std::vector<TrafficRecord> timeline;
    ListBoxLines target;
    ListBoxLines host;
    LabelText lblTarget;
    LabelText lblHost;
    core::NullEventPump pump;
    TrafficListing listing;
    MonitorRun run;
};

frmMonitor::frmMonitor(session::Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , ui(std::make_unique<Ui::frmMonitor>())
{
    ui->setupUi(this);
    setWindowIcon(QApplication::windowIcon());
    setAcceptDrops(true);
    ui->lblLog->setText(session::shownFolder(m_session.LogPath, QDir::homePath()));
    ui->lblLog->setToolTip(m_session.LogPath);

    m_engine =
        std::make_unique<Engine>(session.device, ui->List1, ui->List2, ui->lblTarget, ui->lblHost);
    initConnections();
    updateWidgets();
}

frmMonitor::~frmMonitor()
{
    m_engine->run.end();
}

void frmMonitor::setClock(std::function<QDateTime()> clock)
{
    m_engine->run.setClock(std::move(clock));
}

void frmMonitor::initConnections()
{
    connect(ui->bttnRun, &QPushButton::clicked, this, &frmMonitor::runClicked);
    connect(ui->Command2, &QPushButton::clicked, this, &frmMonitor::stopClicked);
    connect(ui->bttnLog, &QPushButton::clicked, this, &frmMonitor::logClicked);
    connect(ui->bttnOpenCapture, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Open capture"), m_session.LogPath,
                                         QStringLiteral("Capture files (*.xltcap);;All files (*)"));
        if (!path.isEmpty())
            openCapture(path);
    });
    connect(ui->bttnOpenRun, &QPushButton::clicked, this,
            [this] { openCapture(core::toQPath(m_engine->run.capturePath())); });
    connect(ui->bttnClear, &QPushButton::clicked, ui->List1, &TrafficListBox::clear);
    connect(ui->bttnClearHost, &QPushButton::clicked, ui->List2, &TrafficListBox::clear);
    connect(ui->bttnClearTimeline, &QPushButton::clicked, ui->List3, &TrafficListBox::clear);
    connect(ui->bttnClearTimeline, &QPushButton::clicked, ui->pltReplies, &ReplyTimePlot::clear);
    for (QPushButton *button : {ui->bttnClear, ui->bttnClearHost, ui->bttnClearTimeline})
        connect(button, &QPushButton::clicked, this, &frmMonitor::showCounts);
    connect(ui->pltReplies, &ReplyTimePlot::pointClicked, this,
            [this](PlotSeries series, double seconds) {
                ui->List3->selectRecord([series, seconds](const RecordFacts &facts) {
                    return isPlotRecord(series, seconds, facts);
                });
            });
    connect(ui->chkFollow, &QCheckBox::toggled, this, [this](bool on) {
        for (TrafficListBox *list : {ui->List1, ui->List2, ui->List3})
            list->setFollow(on);
    });
    const std::tuple<QLineEdit *, QLabel *, TrafficListBox *> filters[] = {
        {ui->txtFilterTarget, ui->lblCountTarget, ui->List1},
        {ui->txtFilterHost, ui->lblCountHost, ui->List2},
        {ui->txtFilterTimeline, ui->lblCountTimeline, ui->List3}};
    for (const auto &[edit, count, list] : filters) {
        m_filters.push_back(new ListFilter(edit, count, list));
        connect(list, &TrafficListBox::followChanged, ui->chkFollow, &QCheckBox::setChecked);
        const auto exporting = [this, list = list](bool csv) {
            const QString error = exportChosen(this, *list, csv, m_session.LogPath);
            if (!error.isEmpty())
                QMessageBox::warning(this, windowTitle(), error);
        };
        connect(list, &TrafficListBox::exportRequested, this, [exporting] { exporting(false); });
        connect(list, &TrafficListBox::exportCsvRequested, this, [exporting] { exporting(true); });
    }
}

QString frmMonitor::exportChosen(QWidget *parent, const TrafficListBox &list, bool csv,
                                 const QString &folder)
{
    const QString path = QFileDialog::getSaveFileName(
        parent, csv ? QStringLiteral("Export records as CSV") : QStringLiteral("Export records"),
        folder,
        csv ? QStringLiteral("CSV files (*.csv);;All files (*)")
            : QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return {};
    return csv ? exportCsv(list, path) : exportList(list, path);
}

QString frmMonitor::exportList(const TrafficListBox &list, const QString &path)
{
    QString reason;
    QByteArray text;
    list.exportRecords([&text](const std::vector<QStringList> &records) {
        text += exportText(records).toLatin1();
    });
    if (!core::writeFileAtomically(core::toPath(path), text, &reason))
        return QStringLiteral("The records could not be written to %1: %2").arg(path, reason);
    return {};
}

QString frmMonitor::exportCsv(const TrafficListBox &list, const QString &path)
{
    QString reason;
    QByteArray csv;
    list.shownRecords([&csv](const std::vector<TrafficRecord> &records) {
        const QByteArray part = csvText(records);
        // Each part starts with the header row: only the first is kept.
        csv += csv.isEmpty() ? part : part.mid(part.indexOf("\r\n") + 2);
    });
    if (!core::writeFileAtomically(core::toPath(path), csv, &reason))
        return QStringLiteral("The records could not be written to %1: %2").arg(path, reason);
    return {};
}

frmCapture *frmMonitor::openCapture(const QString &path)
{
    auto *view = new frmCapture(m_session.device.notifier, path, this);
    view->show();
    return view;
}

void frmMonitor::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void frmMonitor::dropEvent(QDropEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            openCapture(url.toLocalFile());
    }
    event->acceptProposedAction();
}

void frmMonitor::showCounts()
{
    for (ListFilter *filter : m_filters)
        filter->refresh();
}

void frmMonitor::showFigures()
{
    // The timeline takes a reply's records of both sides in time order.
    std::vector<TrafficRecord> &pending = m_engine->timeline;
    if (!pending.empty()) {
        if (static_cast<std::size_t>(ui->List3->count()) >= kListCap)
            ui->List3->clear();
        orderTimeline(pending);
        for (const TrafficRecord &record : pending)
            ui->List3->appendRecord(timelineLines(record), record.facts);
        ui->pltReplies->addRecords(pending);
        pending.clear();
        ui->List3->followNewest();
    }
    showCounts();
    // The status lines wrap at a narrow width; the tooltip keeps each on one line.
    const std::pair<QLabel *, QString> statuses[] = {
        {ui->lblTargetStatus, m_engine->target.summary.text()},
        {ui->lblHostStatus, m_engine->host.summary.text()}};
    for (const auto &[label, text] : statuses) {
        label->setText(text);
        label->setToolTip(text);
    }
}

void frmMonitor::updateWidgets()
{
    const bool busy = m_engine->run.running() || m_engine->run.starting();
    ui->bttnRun->setEnabled(!busy);
    ui->bttnLog->setEnabled(!busy);
    ui->bttnOpenRun->setEnabled(!m_engine->run.capturePath().empty());
    // Waiting for the device to answer the start; a run itself goes on in the background.
    if (m_engine->run.starting())
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmMonitor::runClicked()
{
    MonitorRun::Events events;
    events.started = [this](MonitorRun::StartResult result) {
        updateWidgets();
        if (result != MonitorRun::StartResult::Started)
            return;
        session::showDevicePort(*this, m_engine->run.portName());
        m_engine->target.summary.reset();
        m_engine->host.summary.reset();
        m_engine->timeline.clear();
        ui->pltReplies->clear();
        // A mark between the previous run's lines and this one's, in the lists only.
        const QString mark =
            QStringLiteral("Run started %1 on %2")
                .arg(m_engine->run.startedAt().toString(QStringLiteral("HH:mm:ss")),
                     QString::fromStdString(m_engine->run.portName()));
        for (TrafficListBox *list : {ui->List1, ui->List2, ui->List3})
            list->append(mark);
        showFigures();
    };
    events.replied = [this](const link::XLTPacket &) { showFigures(); };
    events.ended = [this](MonitorRun::Ending) {
        session::showDevicePort(*this, {});
        updateWidgets();
    };
    m_engine->run.start(core::toPath(m_session.LogPath), std::move(events));
    updateWidgets();
}

void frmMonitor::stopClicked()
{
    m_engine->run.requestStop();
}

void frmMonitor::logClicked()
{
    session::frmSetDir chooser(m_session, this);
    chooser.exec();
    ui->lblLog->setText(session::shownFolder(m_session.LogPath, QDir::homePath()));
    ui->lblLog->setToolTip(m_session.LogPath);
}

void frmMonitor::closeEvent(QCloseEvent *event)
{
    m_engine->run.end();
    updateWidgets();
    event->accept();
}

} // namespace xlt::monitor
