#include "frmXLTUpdate.h"

#include "core/Text.h"
#include "session/ui/TextPanel.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

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
    , m_updater(device, *this)
    , m_chooseFile(&frmXLTUpdate::chooseWithDialog)
{
    setObjectName(QStringLiteral("frmXLTUpdate"));
    setWindowTitle(QStringLiteral("Update XLT OS"));
    initControls();
    initConnections();
    lblBlk->clear();
    updateWidgets();
}

void frmXLTUpdate::initControls()
{
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    bttnOpen = new QPushButton(QStringLiteral("Open XLT OS &File"), Frame1);
    bttnOpen->setObjectName(QStringLiteral("bttnOpen"));
    bttnUpdate = new QPushButton(QStringLiteral("Run &Update"), Frame1);
    bttnUpdate->setObjectName(QStringLiteral("bttnUpdate"));
    Picture1 = session::makeTextPanel("Picture1", 180, Frame1);
    prg1 = new QProgressBar(Frame1);
    prg1->setObjectName(QStringLiteral("prg1"));
    prg1->setRange(0, 1);
    prg1->setValue(0);
    prg1->setTextVisible(false);
    lblBlk = new QLabel(Frame1);
    lblBlk->setObjectName(QStringLiteral("lblBlk"));
    lblBlk->setTextFormat(Qt::PlainText);

    auto *grid = new QGridLayout(Frame1);
    grid->addWidget(bttnOpen, 0, 0);
    grid->addWidget(bttnUpdate, 1, 0);
    grid->addWidget(Picture1, 0, 1, 3, 1);
    grid->setRowStretch(2, 1);
    grid->addWidget(prg1, 3, 0, 1, 2);
    grid->addWidget(lblBlk, 4, 0, 1, 2);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Frame1);
}

void frmXLTUpdate::initConnections()
{
    connect(bttnOpen, &QPushButton::clicked, this, &frmXLTUpdate::openFile);
    connect(bttnUpdate, &QPushButton::clicked, this, &frmXLTUpdate::runUpdate);
}

void frmXLTUpdate::updateWidgets()
{
    const bool busy = m_updater.running() || m_opening;
    bttnOpen->setEnabled(!busy);
    bttnUpdate->setEnabled(!busy && m_image.has_value());
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
        m_image = std::move(result.image);
        lblBlk->clear();
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
    updateWidgets();
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
    lblBlk->setText(core::toQString(text));
}

void frmXLTUpdate::setMaximum(int maximum)
{
    prg1->setMaximum(maximum);
}

void frmXLTUpdate::setValue(int value)
{
    prg1->setValue(value);
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
    Picture1->clear();
}

void frmXLTUpdate::print(const std::string &line)
{
    Picture1->appendPlainText(core::toQString(line));
}

} // namespace xlt::update
