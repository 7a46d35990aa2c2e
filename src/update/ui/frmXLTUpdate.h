#pragma once

#include "update/OpenStep.h"
#include "update/UpdateFile.h"
#include "update/Updater.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCloseEvent;

namespace Ui {
class frmXLTUpdate;
}

namespace xlt::update {

/// "Update XLT OS": opens an XLT OS update file, shows its identity beside the device's, and
/// sends its image to the device block by block. While an update runs, the window refuses to
/// open another file or to close, and holds the device against the other windows.
class frmXLTUpdate : public QWidget, private ProgressSink, private Panel
{
    Q_OBJECT
public:
    /// Picks the update file; nothing when the user cancels. The default shows cmnDlg1.
    using FileChooser = std::function<std::optional<QString>(QWidget *parent)>;

    explicit frmXLTUpdate(link::DeviceContext &device, QWidget *parent = nullptr);
    ~frmXLTUpdate() override;

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    /// True while an update is being sent (including its pause).
    bool updating() const { return m_updater.running(); }

    /// The file dialog of the open step: title "Open Update file", one filter
    /// "XLT OS Update file *.dpc" for *.dpc, existing files only.
    static std::optional<QString> chooseWithDialog(QWidget *parent);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initConnections();
    void updateWidgets();
    void openFile();
    void opened(OpenStepResult result);
    /// Shows the file's lines and the device's below them, and names the port and device node
    /// that the device answered on, so that with an emulator or a second device about, the user
    /// sees which one gets the firmware. This is the device an update will accept.
    void showDevice(const SeenDevice &device, const std::vector<std::string> &lines);
    void runUpdate();

    // ProgressSink: lblBlk, prg1 and the mouse pointer.
    void setLabel(const std::string &text) override;
    void setMaximum(int maximum) override;
    void setValue(int value) override;
    void setBusy(bool busy) override;
    // Panel: Picture1.
    void clear() override;
    void print(const std::string &line) override;

    link::DeviceContext &m_device;
    /// The controls of the .ui file. Declared before the logic, so that it is still there if
    /// the logic reports to the window while it ends.
    std::unique_ptr<Ui::frmXLTUpdate> ui;
    Updater m_updater;
    FileChooser m_chooseFile;
    /// The last accepted file; empty before one is accepted and after a refused open step.
    std::optional<UpdateImage> m_image;
    /// The file's identity lines, shown above the device's.
    std::vector<std::string> m_fileLines;
    /// Between the updater's setBusy(true) and setBusy(false).
    bool m_busy = false;
    /// The device the panel shows; an update refuses any other.
    SeenDevice m_shown;
    /// The open step's look at the device.
    link::Operation m_opening;
};

} // namespace xlt::update
