#include "frmMonitor.h"

#include "TrafficListBox.h"
#include "core/EventPump.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficAnalysis.h"
#include "monitor/TrafficListing.h"
#include "session/Session.h"
#include "session/ui/frmSetDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

namespace xlt::monitor {

namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

/// A list box as the listing's LineList. Each record's lines go to the list together, marked
/// when its CRC fails and with its reply time as a tooltip; the record also goes to the side's
/// summary and to the records waiting for the timeline.
class ListBoxLines final : public LineList
{
public:
    ListBoxLines(TrafficListBox *list, bool target, std::vector<TimelineRecord> &timeline)
        : m_list(list)
        , m_target(target)
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
        const CrcVerdict crc =
            record.complete ? checkFrameCrc(record.frame) : CrcVerdict::Unchecked;
        const std::optional<std::uint32_t> replyMs = summary.take(record.tag, record.offsetMs, crc);
        if (m_list)
            m_list->appendRecord(m_pending, crc == CrcVerdict::Bad, recordToolTip(crc, replyMs));
        m_timeline.push_back({m_target, record.offsetMs, std::move(m_pending)});
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
    bool m_target;
    std::vector<TimelineRecord> &m_timeline;
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

QPushButton *button(const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLabel *label(const char *name, const QString &caption)
{
    auto *l = new QLabel(caption);
    if (name)
        l->setObjectName(QLatin1String(name));
    return l;
}

TrafficListBox *listBox(const char *name)
{
    auto *list = new TrafficListBox;
    list->setObjectName(QLatin1String(name));
    return list;
}

QLineEdit *filterBox(const char *name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(QStringLiteral("Filter (for example NOTE CREDIT or 7F 80)"));
    edit->setClearButtonEnabled(true);
    return edit;
}

/// One side's frame: its filter and list, the run's figures for the side, and below them the
/// Clear List button and the detected protocol.
QGroupBox *sideFrame(const char *name, const QString &caption, QLineEdit *filter,
                     TrafficListBox *list, QLabel *status, QPushButton *clear, QLabel *detected)
{
    auto *frame = new QGroupBox(caption);
    frame->setObjectName(QLatin1String(name));
    detected->setFont(QFont(QStringLiteral("Arial")));
    detected->setMinimumWidth(60);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(clear);
    bottom->addStretch(1);
    bottom->addWidget(label(nullptr, QStringLiteral("Detected Protocol:")));
    bottom->addWidget(detected);
    auto *column = new QVBoxLayout(frame);
    // The figures change after every reply: they never widen the window.
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(filter);
    column->addWidget(list, 1);
    column->addWidget(status);
    column->addLayout(bottom);
    return frame;
}

} // namespace

/// Everything a tick touches. A tick in flight keeps the engine alive, so a reply that arrives
/// after the window was closed is still logged; the adapters hold guarded pointers to the
/// widgets, so such a reply touches nothing freed. Listing one reply takes microseconds, so it
/// runs straight through without letting other events in.
struct frmMonitor::Engine
{
    Engine(link::DeviceContext &context, TrafficListBox *list1, TrafficListBox *list2,
           QLabel *targetLabel, QLabel *hostLabel)
        : target(list1, true, timeline)
        , host(list2, false, timeline)
        , lblTarget(targetLabel)
        , lblHost(hostLabel)
        , listing(target, host, lblTarget, lblHost, pump)
        , run(context, listing)
    {}

    /// Records of both sides listed since the timeline was last brought up to date.
    std::vector<TimelineRecord> timeline;
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
{
    setObjectName(QStringLiteral("frmMonitor"));
    setWindowIcon(QApplication::windowIcon());
    setWindowTitle(QStringLiteral("XLT communications monitor"));
    buildControls();
    m_engine = std::make_shared<Engine>(session.device, m_List1, m_List2, m_lblTarget, m_lblHost);
    initConnections();
    updateWidgets();
    resize(900, 560);
}

frmMonitor::~frmMonitor()
{
    m_engine->run.end();
}

void frmMonitor::setClock(std::function<QDateTime()> clock)
{
    m_engine->run.setClock(std::move(clock));
}

void frmMonitor::buildControls()
{
    m_List1 = listBox("List1");
    m_bttnClear = button("bttnClear", QStringLiteral("&Clear List"));
    m_lblTarget = label("lblTarget", QString());
    m_List2 = listBox("List2");
    m_bttnClearHost = button("bttnClearHost", QStringLiteral("Clear &List"));
    m_lblHost = label("lblHost", QString());
    m_txtFilterTarget = filterBox("txtFilterTarget");
    m_txtFilterHost = filterBox("txtFilterHost");
    m_lblTargetStatus = label("lblTargetStatus", QString());
    m_lblHostStatus = label("lblHostStatus", QString());
    auto *sidesPage = new QWidget;
    auto *sides = new QHBoxLayout(sidesPage);
    sides->setContentsMargins(0, 0, 0, 0);
    sides->addWidget(sideFrame("Frame2", QStringLiteral("Target Traffic"), m_txtFilterTarget,
                               m_List1, m_lblTargetStatus, m_bttnClear, m_lblTarget));
    sides->addWidget(sideFrame("Frame3", QStringLiteral("Host Traffic"), m_txtFilterHost, m_List2,
                               m_lblHostStatus, m_bttnClearHost, m_lblHost));

    // Both sides in time order.
    m_List3 = listBox("List3");
    m_txtFilterTimeline = filterBox("txtFilterTimeline");
    m_bttnClearTimeline = button("bttnClearTimeline", QStringLiteral("Clear Li&st"));
    auto *timelinePage = new QWidget;
    auto *timeline = new QVBoxLayout(timelinePage);
    timeline->setContentsMargins(0, 0, 0, 0);
    timeline->addWidget(m_txtFilterTimeline);
    timeline->addWidget(m_List3, 1);
    auto *timelineBottom = new QHBoxLayout;
    timelineBottom->addWidget(m_bttnClearTimeline);
    timelineBottom->addStretch(1);
    timeline->addLayout(timelineBottom);

    m_tabTraffic = new QTabWidget;
    m_tabTraffic->setObjectName(QStringLiteral("tabTraffic"));
    m_tabTraffic->addTab(sidesPage, QStringLiteral("Target and Host"));
    m_tabTraffic->addTab(timelinePage, QStringLiteral("Timeline"));

    auto *page = new QVBoxLayout(this);
    page->addWidget(buildFrame1());
    page->addWidget(m_tabTraffic, 1);

    m_tmrPoll = new QTimer(this);
    m_tmrPoll->setObjectName(QStringLiteral("tmrPoll"));
    m_tmrPoll->setSingleShot(true);
    m_tmrPoll->setInterval(kPollInterval);
    // A coarse timer may fire up to 5 % late; the period is meant to be 50 ms.
    m_tmrPoll->setTimerType(Qt::PreciseTimer);
}

QFrame *frmMonitor::buildFrame1()
{
    auto *Frame1 = new QFrame;
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    m_bttnRun = button("bttnRun", QStringLiteral("&Run"));
    m_Command2 = button("Command2", QStringLiteral("&Stop"));
    m_bttnLog = button("bttnLog", QStringLiteral("..."));
    m_lblLog = label("lblLog", m_session.LogPath);
    m_lblLog->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_chkFollow = new QCheckBox(QStringLiteral("Follow"));
    m_chkFollow->setObjectName(QStringLiteral("chkFollow"));
    m_chkFollow->setChecked(true);
    auto *top = new QHBoxLayout(Frame1);
    top->addWidget(m_bttnRun);
    top->addWidget(m_Command2);
    top->addSpacing(16);
    top->addWidget(m_bttnLog);
    top->addWidget(label("Label1", QStringLiteral("Log File Location:")));
    top->addWidget(m_lblLog, 1);
    top->addWidget(m_chkFollow);
    return Frame1;
}

void frmMonitor::initConnections()
{
    connect(m_bttnRun, &QPushButton::clicked, this, &frmMonitor::runClicked);
    connect(m_Command2, &QPushButton::clicked, this, &frmMonitor::stopClicked);
    connect(m_bttnLog, &QPushButton::clicked, this, &frmMonitor::logClicked);
    connect(m_bttnClear, &QPushButton::clicked, m_List1, &TrafficListBox::clear);
    connect(m_bttnClearHost, &QPushButton::clicked, m_List2, &TrafficListBox::clear);
    connect(m_tmrPoll, &QTimer::timeout, this, &frmMonitor::pollTick);
    connect(m_bttnClearTimeline, &QPushButton::clicked, m_List3, &TrafficListBox::clear);
    connect(m_chkFollow, &QCheckBox::toggled, this, [this](bool on) {
        for (TrafficListBox *list : {m_List1, m_List2, m_List3})
            list->setFollow(on);
    });
    const std::pair<QLineEdit *, TrafficListBox *> filters[] = {
        {m_txtFilterTarget, m_List1}, {m_txtFilterHost, m_List2}, {m_txtFilterTimeline, m_List3}};
    for (const auto &[edit, list] : filters) {
        connect(edit, &QLineEdit::textChanged, list, &TrafficListBox::setFilter);
        connect(list, &TrafficListBox::followChanged, m_chkFollow, &QCheckBox::setChecked);
        connect(list, &TrafficListBox::exportRequested, this, [this, list = list] {
            const QString path = QFileDialog::getSaveFileName(
                this, QStringLiteral("Export records"), m_session.LogPath,
                QStringLiteral("Text files (*.txt);;All files (*)"));
            if (path.isEmpty())
                return;
            const QString error = exportList(*list, path);
            if (!error.isEmpty())
                QMessageBox::warning(this, windowTitle(), error);
        });
    }
}

QString frmMonitor::exportList(const TrafficListBox &list, const QString &path)
{
    QString reason;
    if (!core::writeFileAtomically(path, exportText(list.exportRecords()).toLatin1(), &reason))
        return QStringLiteral("The records could not be written to %1: %2").arg(path, reason);
    return {};
}

void frmMonitor::showFigures()
{
    // The timeline takes a reply's records of both sides in time order.
    std::vector<TimelineRecord> &pending = m_engine->timeline;
    if (!pending.empty()) {
        if (static_cast<std::size_t>(m_List3->count()) >= kListCap)
            m_List3->clear();
        orderTimeline(pending);
        for (const TimelineRecord &record : pending)
            m_List3->appendRecord(timelineLines(record));
        pending.clear();
        m_List3->followNewest();
    }
    m_lblTargetStatus->setText(m_engine->target.summary.text());
    m_lblHostStatus->setText(m_engine->host.summary.text());
}

void frmMonitor::updateWidgets()
{
    const bool busy = m_engine->run.running() || m_engine->run.starting();
    m_bttnRun->setEnabled(!busy);
    m_bttnLog->setEnabled(!busy);
    // Waiting for the device to answer the start; a run itself goes on in the background.
    if (m_engine->run.starting())
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmMonitor::runClicked()
{
    const QPointer<frmMonitor> self(this);
    m_engine->run.start(m_session.LogPath, [self](MonitorRun::StartResult result) {
        if (!self)
            return;
        self->updateWidgets();
        if (result == MonitorRun::StartResult::Started) {
            self->m_engine->target.summary.reset();
            self->m_engine->host.summary.reset();
            self->m_engine->timeline.clear();
            self->showFigures();
            self->m_tmrPoll->start();
        }
    });
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
    m_lblLog->setText(m_session.LogPath);
}

void frmMonitor::pollTick()
{
    m_tmrPoll->stop();
    // The callback holds the engine: see Engine.
    m_engine->run.tick([engine = m_engine, self = QPointer<frmMonitor>(this)](bool again) {
        if (!self)
            return;
        self->showFigures();
        if (again)
            self->m_tmrPoll->start();
        else
            self->updateWidgets();
    });
}

void frmMonitor::closeEvent(QCloseEvent *event)
{
    m_tmrPoll->stop();
    m_engine->run.end();
    updateWidgets();
    event->accept();
}

} // namespace xlt::monitor
