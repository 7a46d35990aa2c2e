#include "frmSetID003.h"

#include "core/Text.h"
#include "pr01/ConfigFolder.h"
#include "pr01/Pr01Device.h"
#include "pr01/UfgFile.h"
#include "session/Session.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace xlt::pr01 {

namespace {

constexpr int kBoxWidth = 48;

QString indexed(const char *base, std::size_t index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(index);
}

QLineEdit *makeBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QPushButton *makeButton(const char *name, const char *caption, QWidget *parent)
{
    auto *button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

frmSetID003::frmSetID003(session::Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_detect(session.device, *this)
{
    setObjectName(QStringLiteral("frmSetID003"));
    m_folder = ensureConfigFolder(m_session.programDir);
    setWindowTitle(QStringLiteral("Set XLT PR01 Configuration Data"));
    initControls();
    initConnections();
    setBoxes(Pr01Texts::initial());
    fillCfgList();
    showFrames(false, false, false);
    updateWidgets();
}

frmSetID003::~frmSetID003() = default;

void frmSetID003::initControls()
{
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(makeConfigFrames(), 1);
    layout->addWidget(makeRightPanel(), 0);

    tmrCfg = new QTimer(this);
    tmrCfg->setObjectName(QStringLiteral("tmrCfg"));
    // One tick at a time: the tick re-arms the timer only while detection goes on.
    tmrCfg->setSingleShot(true);
    tmrCfg->setInterval(AutoDetect::kInterval);
}

QWidget *frmSetID003::makeConfigFrames()
{
    auto *left = new QWidget(this);
    auto *column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);

    Frame1 = new QGroupBox(QStringLiteral("Version"), left);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtVersion = makeBox(QStringLiteral("txtVersion"), Frame1);
    (new QVBoxLayout(Frame1))->addWidget(txtVersion);

    Frame2 = new QGroupBox(QStringLiteral("Boot Version"), left);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    txtBootVersion = makeBox(QStringLiteral("txtBootVersion"), Frame2);
    (new QVBoxLayout(Frame2))->addWidget(txtBootVersion);

    column->addWidget(Frame1);
    column->addWidget(Frame2);
    column->addWidget(makeCurrencyFrame());
    column->addStretch(1);
    left->setMinimumWidth(320);
    return left;
}

QWidget *frmSetID003::makeCurrencyFrame()
{
    Frame3 = new QGroupBox(QStringLiteral("Currency Assigment"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    auto *grid = new QGridLayout(Frame3);
    const std::array<Column, 4> columns = {Column::Code, Column::Country, Column::Denom,
                                           Column::Exp};
    for (std::size_t col = 0; col < columns.size(); ++col) {
        auto *heading = new QLabel(QString::fromLatin1(columnHeading(columns[col])), Frame3);
        heading->setObjectName(indexed("Label1", col));
        grid->addWidget(heading, 0, static_cast<int>(col));
    }
    const std::array<std::pair<const char *, std::array<QLineEdit *, kRowCount> *>, 4> arrays = {
        {{"txtCode", &txtCode},
         {"txtCountry", &txtCountry},
         {"txtDenom", &txtDenom},
         {"txtEXP", &txtEXP}}};
    for (std::size_t col = 0; col < arrays.size(); ++col) {
        for (std::size_t row = 0; row < kRowCount; ++row) {
            QLineEdit *box = makeBox(indexed(arrays[col].first, row), Frame3);
            box->setMaximumWidth(kBoxWidth);
            (*arrays[col].second)[row] = box;
            grid->addWidget(box, static_cast<int>(row) + 1, static_cast<int>(col));
        }
    }
    return Frame3;
}

QWidget *frmSetID003::makeRightPanel()
{
    auto *Frame4 = new QFrame(this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setFrameShape(QFrame::StyledPanel);
    auto *panel = new QVBoxLayout(Frame4);
    auto *Label2 = new QLabel(QStringLiteral("Load Saved Configuration"), Frame4);
    Label2->setObjectName(QStringLiteral("Label2"));
    cmbCfg = new QComboBox(Frame4);
    cmbCfg->setObjectName(QStringLiteral("cmbCfg"));
    bttnSaveCfg = makeButton("bttnSaveCfg", "Save Cfg to disc", Frame4);
    bttnGetCfg = makeButton("bttnGetCfg", "&Get XLT Data", Frame4);
    bttnSetToXLT = makeButton("bttnSetToXLT", "&Set Data In XLT", Frame4);
    bttnAutoCfg = makeButton("bttnAutoCfg", "&Auto Detect cfg", Frame4);
    bttnAbort = makeButton("bttnAbort", "Abort Auto &Cfg", Frame4);
    bttnExit = makeButton("bttnExit", "E&xit", Frame4);
    for (QWidget *control :
         std::initializer_list<QWidget *>{Label2, cmbCfg, bttnSaveCfg, bttnGetCfg, bttnSetToXLT,
                                          bttnAutoCfg, bttnAbort, bttnExit})
        panel->addWidget(control);
    panel->addStretch(1);
    return Frame4;
}

void frmSetID003::initConnections()
{
    connect(bttnGetCfg, &QPushButton::clicked, this, &frmSetID003::bttnGetCfgClicked);
    connect(bttnSetToXLT, &QPushButton::clicked, this, &frmSetID003::bttnSetToXLTClicked);
    connect(bttnSaveCfg, &QPushButton::clicked, this, &frmSetID003::bttnSaveCfgClicked);
    connect(cmbCfg, &QComboBox::activated, this, &frmSetID003::cmbCfgActivated);
    connect(bttnAutoCfg, &QPushButton::clicked, this, &frmSetID003::bttnAutoCfgClicked);
    connect(bttnAbort, &QPushButton::clicked, this, &frmSetID003::bttnAbortClicked);
    connect(bttnExit, &QPushButton::clicked, this, &frmSetID003::bttnExitClicked);
    connect(tmrCfg, &QTimer::timeout, this, &frmSetID003::tmrCfgTick);
}

void frmSetID003::updateWidgets()
{
    const bool idle = !m_detect.running() && !m_busy;
    bttnAutoCfg->setEnabled(idle);
    bttnGetCfg->setEnabled(idle);
    bttnSetToXLT->setEnabled(idle);
    bttnSaveCfg->setEnabled(idle);
    cmbCfg->setEnabled(idle && cmbCfg->count() > 0);
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
    texts.version = core::fromQString(txtVersion->text());
    texts.bootVersion = core::fromQString(txtBootVersion->text());
    for (std::size_t row = 0; row < kRowCount; ++row) {
        texts.code[row] = core::fromQString(txtCode[row]->text());
        texts.country[row] = core::fromQString(txtCountry[row]->text());
        texts.denom[row] = core::fromQString(txtDenom[row]->text());
        texts.exp[row] = core::fromQString(txtEXP[row]->text());
    }
    return texts;
}

void frmSetID003::setBoxes(const Pr01Texts &texts)
{
    txtVersion->setText(core::toQString(texts.version));
    txtBootVersion->setText(core::toQString(texts.bootVersion));
    for (std::size_t row = 0; row < kRowCount; ++row) {
        txtCode[row]->setText(core::toQString(texts.code[row]));
        txtCountry[row]->setText(core::toQString(texts.country[row]));
        txtDenom[row]->setText(core::toQString(texts.denom[row]));
        txtEXP[row]->setText(core::toQString(texts.exp[row]));
    }
}

void frmSetID003::showFrames(bool version, bool bootVersion, bool currency)
{
    Frame1->setVisible(version);
    Frame2->setVisible(bootVersion);
    Frame3->setVisible(currency);
}

void frmSetID003::fillCfgList()
{
    cmbCfg->clear();
    cmbCfg->addItems(listConfigNames(m_folder));
    cmbCfg->setCurrentIndex(-1);
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
                              self->cmbCfg->setCurrentIndex(-1);
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
    LoadConfigFile(configFilePath(m_folder, cmbCfg->itemText(index)));
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
        self->tmrCfg->start();
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
    tmrCfg->stop();
    m_detect.tick([self = QPointer<frmSetID003>(this)](bool again) {
        if (!self)
            return;
        if (again)
            self->tmrCfg->start();
        else
            self->updateWidgets();
    });
}

void frmSetID003::closeEvent(QCloseEvent *event)
{
    tmrCfg->stop();
    m_detect.stop();
    updateWidgets();
    event->accept();
}

void frmSetID003::versionDetected(const std::string &text)
{
    txtVersion->setText(core::toQString(text));
    Frame1->setVisible(true);
}

void frmSetID003::bootVersionDetected(const std::string &text)
{
    txtBootVersion->setText(core::toQString(text));
    Frame2->setVisible(true);
}

void frmSetID003::currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows)
{
    Pr01Texts texts = boxes();
    decodeCurrencyRows(rows, texts);
    setBoxes(texts);
    Frame3->setVisible(true);
}

} // namespace xlt::pr01
