#pragma once

#include <QFileSystemWatcher>
#include <QStatusBar>
#include <QTimer>
#include <memory>

class QComboBox;
class QLabel;

namespace xlt::link {
class ChoosablePorts;
class DeviceChoice;
} // namespace xlt::link

namespace xlt::app {

/// The main window's status bar: the device the windows use (port, device node, USB serial
/// number) or why they find none, and the "Device:" drop-down that chooses among several
/// (link::DeviceChoice). Plugging and unplugging are followed without touching any port: a
/// change in /dev, /dev/serial/by-id or the emulator's registry lists the ports again once
/// the folders have been quiet for kSettleMs.
class DeviceBar : public QStatusBar
{
    Q_OBJECT
public:
    static constexpr int kSettleMs = 200;

    /// `ports` must be the port source of the windows' device context.
    explicit DeviceBar(link::ChoosablePorts &ports, QWidget *parent = nullptr);
    ~DeviceBar() override;

    /// Lists the ports again and shows the result.
    void refresh();

private:
    /// Watches the folders where ports come and go, as far as they exist now.
    void watchFolders();
    void showChoice();
    void chosen(int index);

    std::unique_ptr<link::DeviceChoice> m_choice;
    QLabel *m_lblDeviceStatus = nullptr;
    QComboBox *m_cmbDevice = nullptr;
    QFileSystemWatcher m_watcher;
    QTimer m_tmrPorts;
};

} // namespace xlt::app
