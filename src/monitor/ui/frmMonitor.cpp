#include "frmMonitor.h"

#include "TrafficListBox.h"
#include "app/Session.h"
#include "app/ui/frmSetDir.h"
#include "core/EventPump.h"
#include "core/Text.h"
#include "monitor/MonitorRun.h"
#include "monitor/TrafficListing.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

namespace xlt::monitor {

namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

/// A list box as the listing's LineList.
class ListBoxLines final : public LineList
{
public:
    explicit ListBoxLines(TrafficListBox *list)
        : m_list(list)
    {}

    std::size_t count() const override
    {
        return m_list ? static_cast<std::size_t>(m_list->count()) : 0;
    }
    void clear() override
    {
        if (m_list)
            m_list->clear();
    }
    void add(const std::string &line) override
    {
        if (m_list)
            m_list->append(core::toQString(line));
    }
    void selectLast() override
    {
        if (m_list)
            m_list->setCurrentRow(m_list->count() - 1);
    }

private:
    QPointer<TrafficListBox> m_list;
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

/// One side's frame: its list, and below it the Clear List button and the detected protocol.
QGroupBox *sideFrame(const char *name, const QString &caption, TrafficListBox *list,
                     QPushButton *clear, QLabel *detected)
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
    column->addWidget(list, 1);
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
        : target(list1)
        , host(list2)
        , lblTarget(targetLabel)
        , lblHost(hostLabel)
        , listing(target, host, lblTarget, lblHost, pump)
        , run(context, listing)
    {}

    ListBoxLines target;
    ListBoxLines host;
    LabelText lblTarget;
    LabelText lblHost;
    core::NullEventPump pump;
    TrafficListing listing;
    MonitorRun run;
};

frmMonitor::frmMonitor(app::Session &session, QWidget *parent)
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
    auto *sides = new QHBoxLayout;
    sides->addWidget(
        sideFrame("Frame2", QStringLiteral("Target Traffic"), m_List1, m_bttnClear, m_lblTarget));
    sides->addWidget(
        sideFrame("Frame3", QStringLiteral("Host Traffic"), m_List2, m_bttnClearHost, m_lblHost));

    auto *page = new QVBoxLayout(this);
    page->addWidget(buildFrame1());
    page->addLayout(sides, 1);

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
    auto *top = new QHBoxLayout(Frame1);
    top->addWidget(m_bttnRun);
    top->addWidget(m_Command2);
    top->addSpacing(16);
    top->addWidget(m_bttnLog);
    top->addWidget(label("Label1", QStringLiteral("Log File Location:")));
    top->addWidget(m_lblLog, 1);
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
        if (result == MonitorRun::StartResult::Started)
            self->m_tmrPoll->start();
    });
    updateWidgets();
}

void frmMonitor::stopClicked()
{
    m_engine->run.requestStop();
}

void frmMonitor::logClicked()
{
    app::frmSetDir chooser(m_session, this);
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
