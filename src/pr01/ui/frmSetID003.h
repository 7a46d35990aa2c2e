#pragma once

#include "pr01/AutoDetect.h"
#include "pr01/ConfigBlock.h"

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

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
    void initControls();
    QWidget *makeConfigFrames();
    QWidget *makeCurrencyFrame();
    QWidget *makeRightPanel();
    void initConnections();
    void updateWidgets();
    void setBusy(bool busy);

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
    void tmrCfgTick();

    void versionDetected(const std::string &text) override;
    void bootVersionDetected(const std::string &text) override;
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override;

    session::Session &m_session;
    QString m_folder;
    AutoDetect m_detect;
    /// A read or a write is waiting for the device.
    bool m_busy = false;
    /// The host drive byte of the last configuration read from the device: a write puts it
    /// back. Without a read, the write reads the device's own byte first.
    std::optional<std::uint8_t> m_hostDrive;

    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QLineEdit *txtVersion = nullptr;
    QLineEdit *txtBootVersion = nullptr;
    std::array<QLineEdit *, kRowCount> txtCode{};
    std::array<QLineEdit *, kRowCount> txtCountry{};
    std::array<QLineEdit *, kRowCount> txtDenom{};
    std::array<QLineEdit *, kRowCount> txtEXP{};
    QComboBox *cmbCfg = nullptr;
    QPushButton *bttnSaveCfg = nullptr;
    QPushButton *bttnGetCfg = nullptr;
    QPushButton *bttnSetToXLT = nullptr;
    QPushButton *bttnAutoCfg = nullptr;
    QPushButton *bttnAbort = nullptr;
    QPushButton *bttnExit = nullptr;
    QTimer *tmrCfg = nullptr;
};

} // namespace xlt::pr01
