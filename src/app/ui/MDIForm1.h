#pragma once

#include <QMainWindow>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;

namespace xlt::link {
class ChoosablePorts;
}

namespace xlt::session {
struct Session;
}

namespace xlt::app {

/// The main frame window "Xeltan Utilities": its menus open the task windows. Each task window
/// exists at most once; choosing it again brings it to the front. Closing the main window
/// closes every task window first (each runs its own closing handler), then ends the program.
/// Its status bar (DeviceBar) shows and chooses the device the task windows use.
class MDIForm1 : public QMainWindow
{
    Q_OBJECT
public:
    /// `ports` is the port source of the session's device context.
    MDIForm1(session::Session &session, link::ChoosablePorts &ports, QWidget *parent = nullptr);

    void showMonitor();
    void showSetID003();
    void showUpdate();
    void showOptions();
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initMenus();
    /// Brings `window` to the front when it exists, otherwise makes it with `create` and shows it.
    template<typename Create> void showChild(QPointer<QMdiSubWindow> &window, Create create);

    session::Session &m_session;
    QMdiArea *m_mdi = nullptr;
    QPointer<QMdiSubWindow> m_monitor;
    QPointer<QMdiSubWindow> m_setID003;
    QPointer<QMdiSubWindow> m_update;
    QPointer<QWidget> m_options;
};

} // namespace xlt::app
