#include "frmOptions.h"

#include "core/Text.h"
#include "link/DeviceContext.h"
#include "options/ui/ui_frmOptions.h"
#include "session/ui/DeviceTitle.h"
#include "session/ui/TextPanel.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMouseEvent>
#include <memory>

namespace xlt::options {

frmOptions::frmOptions(link::DeviceContext &device, QWidget *parent)
    : QWidget(parent)
    , m_device(device)
    , ui(std::make_unique<Ui::frmOptions>())
    , m_deviceWork(device)
{
    ui->setupUi(this);
    session::setUpTextPanel(*ui->Picture1, 110);
    ui->opLevel_0->setText(core::toQString(kTtlCaption));
    ui->opLevel_1->setText(core::toQString(kOptoCaption));
    // The option buttons show once the device's configuration block has been read.
    ui->opLevel_0->hide();
    ui->opLevel_1->hide();
    m_deviceWork.onPort([this](const std::string &port) { session::showDevicePort(*this, port); });
    initConnections();
    readFromDevice();
}

frmOptions::~frmOptions() = default;

void frmOptions::initConnections()
{
    // Only a mouse release over an option button arms Set; a choice by keyboard does not.
    ui->opLevel_0->installEventFilter(this);
    ui->opLevel_1->installEventFilter(this);
    connect(ui->bttnSet, &QPushButton::clicked, this, &frmOptions::setOptions);
    connect(ui->bttnCancel, &QPushButton::clicked, this, &frmOptions::close);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == ui->opLevel_0 || watched == ui->opLevel_1)) {
        auto *button = static_cast<QRadioButton *>(watched);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_busy && !button->isHidden() && button->rect().contains(mouse->position().toPoint()))
            ui->bttnSet->setEnabled(true);
    }
    return QWidget::eventFilter(watched, event);
}

void frmOptions::readFromDevice()
{
    // The identity and the block are one operation: nothing comes between them. Busy before
    // the start: on a line that runs at once the operation has ended when it returns.
    setBusy(true);
    const bool started = link::startForResult<OptionsReading>(
        m_deviceWork, kHolderName, &readOptions, [this](const OptionsReading &reading) {
            setBusy(false);
            if (!ShowTargetInfo(reading.info) || !reading.block)
                return;
            m_port = reading.port;
            ui->opLevel_0->show();
            ui->opLevel_1->show();
            if (hostDriveOf(*reading.block) == HostDrive::TtlRs232)
                ui->opLevel_0->setChecked(true);
            else
                ui->opLevel_1->setChecked(true);
        });
    if (!started)
        setBusy(false);
}

bool frmOptions::ShowTargetInfo(const TargetInfo &info)
{
    for (const auto &line : info.lines)
        ui->Picture1->appendPlainText(core::toQString(line));
    return info.portFound;
}

void frmOptions::setBusy(bool busy)
{
    m_busy = busy;
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    if (busy)
        ui->bttnSet->setEnabled(false);
}

void frmOptions::setOptions()
{
    if (m_port == 0 || m_busy)
        return;
    const HostDrive drive =
        ui->opLevel_0->isChecked() ? HostDrive::TtlRs232 : HostDrive::OptoIsolated;
    setBusy(true);
    const bool started = link::startForResult<std::optional<OptionBlock>>(
        m_deviceWork, kHolderName,
        [port = m_port, drive](link::Flow &flow) { return writeHostDrive(flow, port, drive); },
        [this](const std::optional<OptionBlock> &written) {
            setBusy(false);
            if (!written) {
                ui->bttnSet->setEnabled(true); // the choice stands: try again
                return;
            }
            m_device.notifier.message(core::Icon::Information, kSavedText);
            close();
        });
    if (!started) {
        setBusy(false);
        ui->bttnSet->setEnabled(true); // the choice stands: try again
    }
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    // A read or write still on its way ends here: nothing more is sent or shown.
    m_deviceWork.cancel();
    QWidget::closeEvent(event);
}

} // namespace xlt::options
