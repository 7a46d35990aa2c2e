#pragma once

#include "link/Operation.h"
#include "options/OptionBlock.h"

#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class frmOptions;
}

namespace xlt::options {

/// "Set XLT Options": shows the connected device's identity and its host drive option, and
/// writes the configuration block back with the option changed. The constructor starts the
/// opening reads; their results fill the window when the device has answered.
class frmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit frmOptions(link::DeviceContext &device, QWidget *parent = nullptr);
    ~frmOptions() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void initConnections();
    void readFromDevice();
    bool ShowTargetInfo(const TargetInfo &info);
    void setBusy(bool busy);
    void setOptions();

    link::DeviceContext &m_device;
    /// The controls of the .ui file. Declared before the logic, so that it is still there if
    /// the logic reports to the window while it ends.
    std::unique_ptr<Ui::frmOptions> ui;
    /// The port the device answered on when the window opened; 0 until the block was read.
    std::uint8_t m_port = 0;
    /// Waiting for the device (the opening reads or a write).
    bool m_busy = false;
    /// The opening's reads, then a write; ends with the window.
    link::Operation m_deviceWork;
};

} // namespace xlt::options
