#include "frmSetID003.h"

#include "core/FileIo.h"
#include "core/Text.h"
#include "pr01/ConfigFolder.h"
#include "pr01/Pr01Device.h"
#include "pr01/UfgFile.h"
#include "pr01/ui/ui_frmSetID003.h"
#include "session/Session.h"
#include "session/ui/DeviceTitle.h"

#include <QCloseEvent>
#include <QMdiSubWindow>

namespace xlt::pr01 {

frmSetID003::frmSetID003(session::Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , ui(std::make_unique<Ui::frmSetID003>())
    , m_detect(session.device, *this)
    , m_deviceWork(session.device)
{
    m_folder = ensureConfigFolder(m_session.programDir);
    ui->setupUi(this);
    m_txtCode = {ui->txtCode_0, ui->txtCode_1, ui->txtCode_2, ui->txtCode_3,
                 ui->txtCode_4, ui->txtCode_5, ui->txtCode_6, ui->txtCode_7};
    m_txtCountry = {ui->txtCountry_0, ui->txtCountry_1, ui->txtCountry_2, ui->txtCountry_3,
                    ui->txtCountry_4, ui->txtCountry_5, ui->txtCountry_6, ui->txtCountry_7};
    m_txtDenom = {ui->txtDenom_0, ui->txtDenom_1, ui->txtDenom_2, ui->txtDenom_3,
                  ui->txtDenom_4, ui->txtDenom_5, ui->txtDenom_6, ui->txtDenom_7};
    m_txtEXP = {ui->txtEXP_0, ui->txtEXP_1, ui->txtEXP_2, ui->txtEXP_3,
                ui->txtEXP_4, ui->txtEXP_5, ui->txtEXP_6, ui->txtEXP_7};

    const auto showPort = [this](const std::string &port) { session::showDevicePort(*this, port); };
    m_deviceWork.onPort(showPort);
    m_detect.onPort(showPort);
    initConnections();
    setBoxes(Pr01Texts::initial());
    fillCfgList();
    showFrames(false, false, false);
    updateWidgets();
}

frmSetID003::~frmSetID003() = default;

void frmSetID003::initConnections()
{
    connect(ui->bttnGetCfg, &QPushButton::clicked, this, &frmSetID003::bttnGetCfgClicked);
    connect(ui->bttnSetToXLT, &QPushButton::clicked, this, &frmSetID003::bttnSetToXLTClicked);
    connect(ui->bttnSaveCfg, &QPushButton::clicked, this, &frmSetID003::bttnSaveCfgClicked);
    connect(ui->cmbCfg, &QComboBox::activated, this, &frmSetID003::cmbCfgActivated);
    connect(ui->bttnAutoCfg, &QPushButton::clicked, this, &frmSetID003::bttnAutoCfgClicked);
    connect(ui->bttnAbort, &QPushButton::clicked, this, &frmSetID003::bttnAbortClicked);
    connect(ui->bttnExit, &QPushButton::clicked, this, &frmSetID003::bttnExitClicked);
}

void frmSetID003::updateWidgets()
{
    const bool busy = m_deviceWork.running();
    const bool idle = !m_detect.running() && !busy;
    ui->bttnAutoCfg->setEnabled(idle);
    ui->bttnGetCfg->setEnabled(idle);
    ui->bttnSetToXLT->setEnabled(idle);
    ui->bttnSaveCfg->setEnabled(idle);
    ui->cmbCfg->setEnabled(idle && ui->cmbCfg->count() > 0);
    // Waiting for the device: a read, a write or the start of a detection. A running
    // detection polls in the background and leaves the pointer alone.
    if (busy || m_detect.starting())
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

Pr01Texts frmSetID003::boxes() const
{
    Pr01Texts texts;
    texts.version = core::fromQString(ui->txtVersion->text());
    texts.bootVersion = core::fromQString(ui->txtBootVersion->text());
    for (std::size_t row = 0; row < kRowCount; ++row) {
        texts.code[row] = core::fromQString(m_txtCode[row]->text());
        texts.country[row] = core::fromQString(m_txtCountry[row]->text());
        texts.denom[row] = core::fromQString(m_txtDenom[row]->text());
        texts.exp[row] = core::fromQString(m_txtEXP[row]->text());
    }
    return texts;
}

void frmSetID003::setBoxes(const Pr01Texts &texts)
{
    ui->txtVersion->setText(core::toQString(texts.version));
    ui->txtBootVersion->setText(core::toQString(texts.bootVersion));
    for (std::size_t row = 0; row < kRowCount; ++row) {
        m_txtCode[row]->setText(core::toQString(texts.code[row]));
        m_txtCountry[row]->setText(core::toQString(texts.country[row]));
        m_txtDenom[row]->setText(core::toQString(texts.denom[row]));
        m_txtEXP[row]->setText(core::toQString(texts.exp[row]));
    }
}

void frmSetID003::showFrames(bool version, bool bootVersion, bool currency)
{
    ui->Frame1->setVisible(version);
    ui->Frame2->setVisible(bootVersion);
    ui->Frame3->setVisible(currency);
}

void frmSetID003::fillCfgList()
{
    ui->cmbCfg->clear();
    ui->cmbCfg->addItems(listConfigNames(m_folder));
    ui->cmbCfg->setCurrentIndex(-1);
    updateWidgets();
}

void frmSetID003::bttnGetCfgClicked()
{
    if (m_deviceWork.running())
        return;
    link::startForResult<std::optional<Pr01Reading>>(m_deviceWork, kReadHolder,
                                                     &readPr01Configuration,
                                                     [this](std::optional<Pr01Reading> reading) {
                                                         updateWidgets();
                                                         if (!reading)
                                                             return;
                                                         setBoxes(reading->texts);
                                                         ui->cmbCfg->setCurrentIndex(-1);
                                                         showFrames(true, true, true);
                                                     });
    updateWidgets();
}

void frmSetID003::bttnSetToXLTClicked()
{
    if (m_deviceWork.running())
        return;
    startPr01Write(m_deviceWork, m_session.device.notifier, boxes(),
                   [this](bool) { updateWidgets(); });
    updateWidgets();
}

void frmSetID003::bttnSaveCfgClicked()
{
    if (saveConfiguration(m_folder, boxes(), m_session.device.notifier))
        fillCfgList();
}

void frmSetID003::cmbCfgActivated(int index)
{
    if (index < 0)
        return;
    LoadConfigFile(configFilePath(m_folder, ui->cmbCfg->itemText(index)));
}

void frmSetID003::LoadConfigFile(const QString &path)
{
    Pr01Texts texts = boxes();
    const bool complete = loadConfigFileInto(core::toPath(path), texts, m_session.device.notifier);
    setBoxes(texts);
    if (complete)
        showFrames(true, true, true);
}

void frmSetID003::bttnAutoCfgClicked()
{
    if (m_deviceWork.running() || m_detect.running())
        return;
    m_detect.start(
        [this](bool started) {
            updateWidgets();
            if (started)
                showFrames(false, false, false);
        },
        [this] { updateWidgets(); });
    updateWidgets();
}

void frmSetID003::bttnAbortClicked()
{
    m_detect.abort();
}

void frmSetID003::bttnExitClicked()
{
    // Inside the main window the window lives in a sub-window, which is what has to close.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void frmSetID003::closeEvent(QCloseEvent *event)
{
    // Whatever the window started ends with it: nothing more is sent or shown.
    m_detect.stop();
    m_deviceWork.cancel();
    updateWidgets();
    event->accept();
}

void frmSetID003::versionDetected(const std::string &text)
{
    ui->txtVersion->setText(core::toQString(text));
    ui->Frame1->setVisible(true);
}

void frmSetID003::bootVersionDetected(const std::string &text)
{
    ui->txtBootVersion->setText(core::toQString(text));
    ui->Frame2->setVisible(true);
}

void frmSetID003::currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows)
{
    Pr01Texts texts = boxes();
    decodeCurrencyRows(rows, texts);
    setBoxes(texts);
    ui->Frame3->setVisible(true);
}

} // namespace xlt::pr01
