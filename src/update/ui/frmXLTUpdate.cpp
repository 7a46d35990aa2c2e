#include "frmXLTUpdate.h"

#include "core/Text.h"
#include "link/USB_COM.h"
#include "session/ui/TextPanel.h"
#include "update/ui/ui_frmXLTUpdate.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QPointer>

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
{
    ui->setupUi(this);
    session::setUpTextPanel(*ui->Picture1, 180);
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
    const bool busy = m_updater.running() || m_opening;
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
    if (m_updater.running() || m_opening)
        return;
    const std::optional<QString> path = m_chooseFile(this);
    if (!path)
        return;
    m_opening = true;
    updateWidgets();
    runOpenStep(m_device, *this, *path,
                [self = QPointer<frmXLTUpdate>(this)](OpenStepResult result) {
                    if (self)
                        self->opened(std::move(result));
                });
}

void frmXLTUpdate::opened(OpenStepResult result)
{
    m_opening = false;
    switch (result.kind) {
    case OpenStepResult::Kind::Unchanged:
        break;
    case OpenStepResult::Kind::Refused:
        // A refused file never becomes the image: the earlier one goes too, with its lines.
        m_image.reset();
        break;
    case OpenStepResult::Kind::Accepted:
        for (const std::string &line : result.targetLines)
            print(line);
        if (!result.targetLines.empty())
            showPort();
        m_image = std::move(result.image);
        ui->lblBlk->clear();
        break;
    }
    updateWidgets();
}

void frmXLTUpdate::runUpdate()
{
    if (!m_image || m_updater.running() || m_opening)
        return;
    m_updater.start(*m_image, [self = QPointer<frmXLTUpdate>(this)](UpdateOutcome) {
        if (self)
            self->updateWidgets();
    });
    if (m_updater.running())
        showPort();
    updateWidgets();
}

void frmXLTUpdate::showPort()
{
    if (m_device.XLTPortNumber == 0)
        return;
    const std::string port = link::describePort(m_device.ports, m_device.XLTPortNumber);
    ui->lblPort->setText(QStringLiteral("Device: ") + QString::fromLocal8Bit(port));
}

void frmXLTUpdate::closeEvent(QCloseEvent *event)
{
    if (m_updater.running()) {
        m_device.notifier.message(core::Icon::Exclamation, kCloseRefused);
        event->ignore();
        return;
    }
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
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
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
