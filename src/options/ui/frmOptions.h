#pragma once

#include "options/OptionBlock.h"

#include <QWidget>
#include <optional>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace xlt::options {

/// "Set XLT Options": shows the connected device's identity and its host drive option, and
/// writes the configuration block back with the option changed. The constructor starts the
/// opening reads; their results fill the window when the device has answered.
class frmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit frmOptions(link::DeviceContext &device, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void initControls();
    void initConnections();
    void readFromDevice();
    bool ShowTargetInfo(const TargetInfo &info);
    void setBusy(bool busy);
    void setOptions();

    link::DeviceContext &m_device;
    /// The configuration block as last read; empty when the opening did not get it.
    std::optional<OptionBlock> m_optionBlock;
    /// Waiting for the device (the opening reads or a write).
    bool m_busy = false;

    QGroupBox *Frame1 = nullptr;
    QPlainTextEdit *Picture1 = nullptr;
    QRadioButton *opLevel_0 = nullptr;
    QRadioButton *opLevel_1 = nullptr;
    QPushButton *bttnSet = nullptr;
    QPushButton *bttnCancel = nullptr;
};

} // namespace xlt::options
