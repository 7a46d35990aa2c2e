#include "frmOptions.h"

#include "core/Text.h"
#include "link/DeviceContext.h"
#include "options/ui/ui_frmOptions.h"
#include "session/ui/TextPanel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <memory>

namespace xlt::options {

namespace {
constexpr const char *kHolderName = "options window";
} // namespace

frmOptions::frmOptions(link::DeviceContext &device, QWidget *parent)
    : QWidget(parent)
    , m_device(device)
    , ui(std::make_unique<Ui::frmOptions>())
{
    ui->setupUi(this);
    session::setUpTextPanel(*ui->Picture1, 110);
    ui->opLevel_0->setText(core::toQString(kTtlCaption));
    ui->opLevel_1->setText(core::toQString(kOptoCaption));
    // The option buttons show once the device's configuration block has been read.
    ui->opLevel_0->hide();
    ui->opLevel_1->hide();
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
    if (link::refuseWhileHeld(m_device))
        return;
    // The identity and the block are two requests: nothing may come between them.
    auto hold = std::make_shared<link::DeviceHold>(m_device, kHolderName);
    setBusy(true);
    const QPointer<frmOptions> self(this);
    readTargetInfo(m_device, [this, self, hold](const TargetInfo &info) {
        if (!self)
            return;
        if (!ShowTargetInfo(info))
            return setBusy(false);
        readOptionBlock(m_device, [this, self, hold](std::optional<OptionBlock> block) {
            if (!self)
                return;
            setBusy(false);
            m_optionBlock = block;
            if (!m_optionBlock)
                return;
            ui->opLevel_0->show();
            ui->opLevel_1->show();
            if (hostDriveOf(*m_optionBlock) == HostDrive::TtlRs232)
                ui->opLevel_0->setChecked(true);
            else
                ui->opLevel_1->setChecked(true);
        });
    });
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
    if (!m_optionBlock || m_busy || link::refuseWhileHeld(m_device))
        return;
    const HostDrive drive =
        ui->opLevel_0->isChecked() ? HostDrive::TtlRs232 : HostDrive::OptoIsolated;
    m_optionBlock = withHostDrive(*m_optionBlock, drive);
    auto hold = std::make_shared<link::DeviceHold>(m_device, kHolderName);
    setBusy(true);
    writeOptionBlock(m_device, *m_optionBlock,
                     [this, self = QPointer<frmOptions>(this), hold](bool ok) {
                         if (!self)
                             return;
                         setBusy(false);
                         if (!ok) {
                             ui->bttnSet->setEnabled(true); // the choice stands: try again
                             return;
                         }
                         m_device.notifier.message(core::Icon::Information, kSavedText);
                         if (self)
                             close();
                     });
}

} // namespace xlt::options
