#pragma once

#include <QDateTime>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;

namespace Ui {
class frmMonitor;
}

namespace xlt::session {
struct Session;
}

namespace xlt::monitor {

class ListFilter;
class frmCapture;
class TrafficListBox;

/// "XLT communications monitor": Run finds the device, starts its capture and polls it every
/// 50 ms (measured from the end of one tick to the start of the next; the single-shot timer is
/// off while a tick runs). Each reply is listed in List1 (target side) and List2 (host side) and
/// appended to the run's two log files in LogPath. Stop ends the run at the end of the next
/// tick; the Clear List buttons work at any time; "..." opens the log directory chooser.
/// Closing the window ends an active run: polling stops and the port is closed.
///
/// For analysis: Follow (on by default) keeps the newest record selected; a filter per list
/// shows only the matching records; failed CRCs are marked; each side's figures (records, CRC
/// failures, request-to-reply times) show under its list; the Timeline tab merges both sides in
/// time order and plots the reply times of the run (a click on a point selects its record).
/// None of it changes the log files or the packet numbers. "Open Capture...", a capture file
/// dropped on the window and "Open This Run" (the run's capture file as it is at that moment)
/// open a capture in an analysis window of its own (frmCapture).
class frmMonitor : public QWidget
{
    Q_OBJECT
public:
    explicit frmMonitor(session::Session &session, QWidget *parent = nullptr);
    ~frmMonitor() override;

    /// The clock that names a run's log files (tests: two runs in the same second).
    void setClock(std::function<QDateTime()> clock);

    /// Writes the selected records of `list` (or, when none is selected, the records its filter
    /// shows) to `path`; the error text, empty when written.
    static QString exportList(const TrafficListBox &list, const QString &path);
    /// Writes every record `list` shows to `path` as CSV (csvText); the error text, empty when
    /// written.
    static QString exportCsv(const TrafficListBox &list, const QString &path);
    /// Asks for a file (starting in `folder`) and exports the records `list` shows to it, as
    /// CSV or as text. The reason it failed; empty when it was written or no file was chosen.
    static QString exportChosen(QWidget *parent, const TrafficListBox &list, bool csv,
                                const QString &folder);

    /// Opens the capture file at `path` in an analysis window (a top-level window that closes
    /// with this one).
    frmCapture *openCapture(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct Engine;

    void initConnections();
    void updateWidgets();
    void runClicked();
    void stopClicked();
    void logClicked();
    void showFigures();
    void showCounts();

    session::Session &m_session;
    /// The controls of the .ui file. Declared before the logic, so that it is still there if
    /// the logic reports to the window while it ends.
    std::unique_ptr<Ui::frmMonitor> ui;
    /// The listing and the run; the run ends (and so stops reporting) with the window.
    std::unique_ptr<Engine> m_engine;
    /// The filter boxes of List1, List2 and List3 (children of their boxes).
    std::vector<ListFilter *> m_filters;
};

} // namespace xlt::monitor
