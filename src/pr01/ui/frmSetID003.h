#pragma once

#include "link/Operation.h"
#include "pr01/AutoDetect.h"
#include "pr01/ConfigBlock.h"

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QLineEdit;

namespace Ui {
class frmSetID003;
}

namespace xlt::session {
struct Session;
}

namespace xlt::pr01 {

/// "Set XLT PR01 Configuration Data": shows the device's PR01 configuration (version, boot
/// version, eight currency rows) in its boxes, which are the only holder of it; reads it from
/// the device, writes it back, saves it to and loads it from ".ufg" files, and lets the device
/// detect it. While a detection runs, the buttons that read, write or save and the file list
/// are locked; closing the window ends the detection and closes the port.
class frmSetID003 : public QWidget, private AutoDetectSink
{
    Q_OBJECT
public:
    explicit frmSetID003(session::Session &session, QWidget *parent = nullptr);
    ~frmSetID003() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initConnections();
    void updateWidgets();

    Pr01Texts boxes() const;
    void setBoxes(const Pr01Texts &texts);
    void showFrames(bool version, bool bootVersion, bool currency);
    void fillCfgList();

    void bttnGetCfgClicked();
    void bttnSetToXLTClicked();
    void bttnSaveCfgClicked();
    void cmbCfgActivated(int index);
    void LoadConfigFile(const QString &path);
    void bttnAutoCfgClicked();
    void bttnAbortClicked();
    void bttnExitClicked();

    void versionDetected(const std::string &text) override;
    void bootVersionDetected(const std::string &text) override;
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override;

    session::Session &m_session;
    /// The controls of the .ui file. Declared before the logic, so that it is still there if
    /// the logic reports to the window while it ends.
    std::unique_ptr<Ui::frmSetID003> ui;
    QString m_folder;
    AutoDetect m_detect;
    /// A read or a write of the configuration.
    link::Operation m_deviceWork;

    // The currency rows' boxes by row: ui->txtCode_0 to ui->txtCode_7 and so on.
    std::array<QLineEdit *, kRowCount> m_txtCode{};
    std::array<QLineEdit *, kRowCount> m_txtCountry{};
    std::array<QLineEdit *, kRowCount> m_txtDenom{};
    std::array<QLineEdit *, kRowCount> m_txtEXP{};
};

} // namespace xlt::pr01
