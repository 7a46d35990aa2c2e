#include "frmXLTUpdate.h"

#include "core/FileIo.h"
#include "core/Text.h"
#include "link/Identity.h"
#include "session/ui/DeviceTitle.h"
#include "session/ui/TextPanel.h"
#include "update/ui/ui_frmXLTUpdate.h"

#include <QCloseEvent>
#include <QFileDialog>

namespace xlt::update {

namespace {

const QString kDialogTitle = QStringLiteral("Open Update file");
const QString kDialogFilter = QStringLiteral("XLT OS Update file *.dpc (*.dpc)");
const std::string kCloseRefused =
    "The firmware update is still running. Wait until it has ended, then close the window.";

} // namespace

frmXLTUpdate::frmXLTUpdate(link::DeviceContext &device, QWidget *parent)
    : QWidget(parent)
    , m_device(device)
    , ui(std::make_unique<Ui::frmXLTUpdate>())
    , m_updater(device, *this)
    , m_chooseFile(&frmXLTUpdate::chooseWithDialog)
    , m_opening(device)
{
    ui->setupUi(this);
    session::setUpTextPanel(*ui->Picture1, 180);
    const auto showPort = [this](const std::string &port) { session::showDevicePort(*this, port); };
    m_opening.onPort(showPort);
    m_updater.onPort(showPort);
    initConnections();
    ui->lblBlk->clear();
    updateWidgets();
}

frmXLTUpdate::~frmXLTUpdate() = default;

void frmXLTUpdate::initConnections()
{
    connect(ui->bttnOpen, &QPushButton::clicked, this, &frmXLTUpdate::openFile);
    connect(ui->bttnUpdate, &QPushButton::clicked, this, &frmXLTUpdate::runUpdate);
}

void frmXLTUpdate::updateWidgets()
{
    const bool busy = m_busy || m_updater.running() || m_opening.running();
    ui->bttnOpen->setEnabled(!busy);
    ui->bttnUpdate->setEnabled(!busy && m_image.has_value());
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

std::optional<QString> frmXLTUpdate::chooseWithDialog(QWidget *parent)
{
    QFileDialog cmnDlg1(parent, kDialogTitle);
    cmnDlg1.setObjectName(QStringLiteral("cmnDlg1"));
    cmnDlg1.setAcceptMode(QFileDialog::AcceptOpen);
    cmnDlg1.setFileMode(QFileDialog::ExistingFile);
    cmnDlg1.setOption(QFileDialog::HideNameFilterDetails);
    cmnDlg1.setNameFilter(kDialogFilter);
    if (cmnDlg1.exec() != QDialog::Accepted || cmnDlg1.selectedFiles().isEmpty())
        return std::nullopt;
    return cmnDlg1.selectedFiles().constFirst();
}

void frmXLTUpdate::openFile()
{
    if (m_updater.running() || m_opening.running())
        return;
    const std::optional<QString> path = m_chooseFile(this);
    if (!path)
        return;
    runOpenStep(m_opening, m_device, *this, core::toPath(*path),
                [this](OpenStepResult result) { opened(std::move(result)); });
    updateWidgets();
}

void frmXLTUpdate::opened(OpenStepResult result)
{
    switch (result.kind) {
    case OpenStepResult::Kind::Unchanged:
        break;
    case OpenStepResult::Kind::Refused:
        // A refused file never becomes the image: the earlier one goes too, with its lines.
        m_image.reset();
        m_shown = {};
        ui->lblPort->clear();
        break;
    case OpenStepResult::Kind::Accepted:
        m_image = std::move(result.image);
        m_fileLines = link::fileIdentityLines(m_image->file);
        showDevice(result.device, result.targetLines);
        ui->lblBlk->clear();
        break;
    }
    updateWidgets();
}

void frmXLTUpdate::showDevice(const SeenDevice &device, const std::vector<std::string> &lines)
{
    m_shown = device;
    clear();
    for (const std::string &line : m_fileLines)
        print(line);
    for (const std::string &line : lines)
        print(line);
    if (device.port.empty())
        ui->lblPort->clear();
    else
        ui->lblPort->setText(QStringLiteral("Device: ") + QString::fromLocal8Bit(device.port));
}

void frmXLTUpdate::runUpdate()
{
    if (!m_image || m_updater.running() || m_opening.running())
        return;
    m_updater.start(
        *m_image, m_shown,
        [this](const SeenDevice &device, const std::vector<std::string> &lines) {
            showDevice(device, lines);
        },
        [this](const UpdateOutcome &) { updateWidgets(); });
    updateWidgets();
}

void frmXLTUpdate::closeEvent(QCloseEvent *event)
{
    if (m_updater.running()) {
        m_device.notifier.message(core::Icon::Exclamation, kCloseRefused);
        event->ignore();
        return;
    }
    // A look at the device still on its way ends here.
    m_opening.cancel();
    event->accept();
}

void frmXLTUpdate::setLabel(const std::string &text)
{
    ui->lblBlk->setText(core::toQString(text));
}

void frmXLTUpdate::setMaximum(int maximum)
{
    ui->prg1->setMaximum(maximum);
}

void frmXLTUpdate::setValue(int value)
{
    ui->prg1->setValue(value);
}

void frmXLTUpdate::setBusy(bool busy)
{
    m_busy = busy;
    updateWidgets();
}

void frmXLTUpdate::clear()
{
    ui->Picture1->clear();
}

void frmXLTUpdate::print(const std::string &line)
{
    ui->Picture1->appendPlainText(core::toQString(line));
}

} // namespace xlt::update
