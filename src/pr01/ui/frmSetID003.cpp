#include "frmSetID003.h"

#include "core/Text.h"
#include "pr01/ConfigFolder.h"
#include "pr01/Pr01Device.h"
#include "pr01/UfgFile.h"
#include "pr01/ui/ui_frmSetID003.h"
#include "session/Session.h"

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

namespace xlt::pr01 {

frmSetID003::frmSetID003(session::Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , ui(std::make_unique<Ui::frmSetID003>())
    , m_detect(session.device, *this)
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

    m_tmrCfg = new QTimer(this);
    m_tmrCfg->setObjectName(QStringLiteral("tmrCfg"));
    // One tick at a time: the tick re-arms the timer only while detection goes on.
    m_tmrCfg->setSingleShot(true);
    m_tmrCfg->setInterval(AutoDetect::kInterval);

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
    connect(m_tmrCfg, &QTimer::timeout, this, &frmSetID003::tmrCfgTick);
}

void frmSetID003::updateWidgets()
{
    const bool idle = !m_detect.running() && !m_busy;
    ui->bttnAutoCfg->setEnabled(idle);
    ui->bttnGetCfg->setEnabled(idle);
    ui->bttnSetToXLT->setEnabled(idle);
    ui->bttnSaveCfg->setEnabled(idle);
    ui->cmbCfg->setEnabled(idle && ui->cmbCfg->count() > 0);
    // Waiting for the device: a read, a write or the start of a detection. A running
    // detection polls in the background and leaves the pointer alone.
    if (m_busy || m_detect.starting())
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmSetID003::setBusy(bool busy)
{
    m_busy = busy;
    updateWidgets();
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
    if (m_busy)
        return;
    setBusy(true);
    readPr01Configuration(m_session.device,
                          [self = QPointer<frmSetID003>(this)](std::optional<Pr01Reading> reading) {
                              if (!self)
                                  return;
                              self->setBusy(false);
                              if (!reading)
                                  return;
                              self->m_hostDrive = reading->hostDrive;
                              self->setBoxes(reading->texts);
                              self->ui->cmbCfg->setCurrentIndex(-1);
                              self->showFrames(true, true, true);
                          });
}

void frmSetID003::bttnSetToXLTClicked()
{
    if (m_busy)
        return;
    setBusy(true);
    writePr01Configuration(m_session.device, boxes(), m_hostDrive,
                           [self = QPointer<frmSetID003>(this)](bool) {
                               if (self)
                                   self->setBusy(false);
                           });
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
    const bool complete = loadConfigFileInto(path, texts, m_session.device.notifier);
    setBoxes(texts);
    if (complete)
        showFrames(true, true, true);
}

void frmSetID003::bttnAutoCfgClicked()
{
    if (m_busy || m_detect.running())
        return;
    m_detect.start([self = QPointer<frmSetID003>(this)](bool started) {
        if (!self)
            return;
        self->updateWidgets();
        if (!started)
            return;
        self->showFrames(false, false, false);
        self->m_tmrCfg->start();
    });
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

void frmSetID003::tmrCfgTick()
{
    m_tmrCfg->stop();
    m_detect.tick([self = QPointer<frmSetID003>(this)](bool again) {
        if (!self)
            return;
        if (again)
            self->m_tmrCfg->start();
        else
            self->updateWidgets();
    });
}

void frmSetID003::closeEvent(QCloseEvent *event)
{
    m_tmrCfg->stop();
    m_detect.stop();
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
