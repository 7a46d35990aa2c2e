#include "MDIForm1.h"

#include "DeviceBar.h"
#include "frmAbout.h"
#include "monitor/ui/frmMonitor.h"
#include "options/ui/frmOptions.h"
#include "pr01/ui/frmSetID003.h"
#include "session/Session.h"
#include "update/ui/frmXLTUpdate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <algorithm>

namespace xlt::app {

MDIForm1::MDIForm1(session::Session &session, link::ChoosablePorts &ports, QWidget *parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("Xeltan Utilities"));
    setWindowIcon(QApplication::windowIcon());
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    setStatusBar(new DeviceBar(ports, this));
    initMenus();
    resize(1100, 760);
}

void MDIForm1::initMenus()
{
    auto addItem = [this](QMenu *menu, const char *name, const QString &caption, auto slot) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
    };
    auto addSeparator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };

    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    addItem(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), &MDIForm1::close);

    QMenu *mnuUtilites = menuBar()->addMenu(QStringLiteral("&Utiliites"));
    mnuUtilites->setObjectName(QStringLiteral("mnuUtilites"));
    addItem(mnuUtilites, "mnuSetXLTOptions", QStringLiteral("&Set XLT Options"),
            &MDIForm1::showOptions);
    addSeparator(mnuUtilites, "sepNu3");
    addItem(mnuUtilites, "mnuMonitor", QStringLiteral("&Monitor"), &MDIForm1::showMonitor);
    addSeparator(mnuUtilites, "sepUt1");
    addItem(mnuUtilites, "mnuSetID003", QStringLiteral("&Set PR01 Configuration"),
            &MDIForm1::showSetID003);
    addSeparator(mnuUtilites, "utsep2");
    addItem(mnuUtilites, "mnuUpdateXLT", QStringLiteral("&Update XLT OS"), &MDIForm1::showUpdate);

    QMenu *mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    addItem(mnuHelp, "mnuHelpAbout", QStringLiteral("&About"), &MDIForm1::showAbout);
}

template<typename Create> void MDIForm1::showChild(QPointer<QMdiSubWindow> &window, Create create)
{
    if (!window) {
        QWidget *content = create();
        content->setWindowIcon(windowIcon());
        const QSize wanted = content->size(); // the size the window chose for itself
        window = m_mdi->addSubWindow(content);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowIcon(windowIcon());
        window->show();
        // The sub-window first takes the content's size hint; grow it so the content gets the
        // size it asked for, frame included.
        window->resize(wanted + window->size() - content->size());
        // Keep the grown window inside the area where that is possible.
        const QSize area = m_mdi->viewport()->size();
        const QRect frame = window->geometry();
        window->move(std::clamp(frame.x(), 0, std::max(0, area.width() - frame.width())),
                     std::clamp(frame.y(), 0, std::max(0, area.height() - frame.height())));
    }
    window->showNormal();
    m_mdi->setActiveSubWindow(window);
    window->raise();
}

void MDIForm1::showMonitor()
{
    showChild(m_monitor, [this] { return new monitor::frmMonitor(m_session); });
}

void MDIForm1::showSetID003()
{
    showChild(m_setID003, [this] { return new pr01::frmSetID003(m_session); });
}

void MDIForm1::showUpdate()
{
    showChild(m_update, [this] { return new update::frmXLTUpdate(m_session.device); });
}

void MDIForm1::showOptions()
{
    if (!m_options) {
        // A separate, non-modal window that stays above the main window.
        m_options = new options::frmOptions(m_session.device, this);
        m_options->setWindowFlag(Qt::Window);
        m_options->setAttribute(Qt::WA_DeleteOnClose);
        m_options->setWindowIcon(windowIcon());
    }
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void MDIForm1::showAbout()
{
    frmAbout about(this);
    about.exec();
}

void MDIForm1::closeEvent(QCloseEvent *event)
{
    // An update in progress refuses to be closed, and so the program stays: ask it first, so
    // that its refusal comes before any other window has been closed.
    if (m_update) {
        auto *update = qobject_cast<update::frmXLTUpdate *>(m_update->widget());
        if (update && update->updating() && !m_update->close()) {
            event->ignore();
            return;
        }
    }
    // Every task window gets its own closing handler first. One that refuses to close keeps
    // the program running.
    if (m_options && !m_options->close()) {
        event->ignore();
        return;
    }
    m_mdi->closeAllSubWindows();
    if (!m_mdi->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

} // namespace xlt::app
