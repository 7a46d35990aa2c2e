#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

class QListWidgetItem;

namespace Ui {
class frmSetDir;
}

namespace xlt::session {
struct Session;

/// "Set Directory", the log directory chooser, opened modally by the traffic monitor's "..."
/// button. Drive1 lists the drives (the file-system roots where there are no drive letters);
/// Dir1 lists the open directory's ancestors and subdirectories, and a double-click (or Enter)
/// on a line opens that directory. OK stores the open directory as LogPath and in the settings
/// store; Cancel, Esc and the close box change nothing.
///
/// It opens at LogPath. When LogPath's drive or directory cannot be shown it opens, without a
/// message, at the program's current directory.
class frmSetDir : public QDialog
{
    Q_OBJECT
public:
    explicit frmSetDir(Session &session, QWidget *parent = nullptr);
    ~frmSetDir() override;

    /// The directory list's open directory: what OK stores.
    const QString &currentDir() const { return m_current; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void initConnections();
    void load();
    void driveChanged(int index);
    void entryActivated(QListWidgetItem *item);
    void okClicked();
    /// Opens `dir` in Dir1 and selects its drive in Drive1; false (nothing changes) when it is
    /// not a directory.
    bool showDir(const QString &dir);
    void selectDrive(int index);

    Session &m_session;
    /// The controls of the .ui file. Declared before the logic, so that it is still there if
    /// the logic reports to the window while it ends.
    std::unique_ptr<Ui::frmSetDir> ui;
    std::vector<QString> m_roots;
    QString m_current;
};

} // namespace xlt::session
