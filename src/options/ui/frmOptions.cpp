#include "frmOptions.h"

#include "core/Text.h"
#include "link/DeviceContext.h"
#include "session/ui/TextPanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

namespace xlt::options {

namespace {
constexpr const char *kHolderName = "options window";
} // namespace

frmOptions::frmOptions(link::DeviceContext &device, QWidget *parent)
    : QWidget(parent)
    , m_device(device)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Set XLT Options"));
    initControls();
    initConnections();
    readFromDevice();
}

void frmOptions::initControls()
{
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Picture1 = session::makeTextPanel("Picture1", 110, Frame1);
    opLevel_0 = new QRadioButton(core::toQString(kTtlCaption), Frame1);
    opLevel_0->setObjectName(QStringLiteral("opLevel_0"));
    opLevel_1 = new QRadioButton(core::toQString(kOptoCaption), Frame1);
    opLevel_1->setObjectName(QStringLiteral("opLevel_1"));
    opLevel_0->hide();
    opLevel_1->hide();
    bttnSet = new QPushButton(QStringLiteral("&Set Options"), Frame1);
    bttnSet->setObjectName(QStringLiteral("bttnSet"));
    bttnSet->setEnabled(false);
    bttnCancel = new QPushButton(QStringLiteral("&Cancel"), Frame1);
    bttnCancel->setObjectName(QStringLiteral("bttnCancel"));

    auto *grid = new QGridLayout(Frame1);
    grid->addWidget(Picture1, 0, 0, 3, 1);
    grid->addWidget(opLevel_0, 0, 1);
    grid->addWidget(opLevel_1, 1, 1);
    grid->setRowStretch(2, 1);
    grid->addWidget(bttnSet, 3, 0, Qt::AlignLeft);
    grid->addWidget(bttnCancel, 3, 1, Qt::AlignRight);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Frame1);
}

void frmOptions::initConnections()
{
    // Only a mouse release over an option button arms Set; a choice by keyboard does not.
    opLevel_0->installEventFilter(this);
    opLevel_1->installEventFilter(this);
    connect(bttnSet, &QPushButton::clicked, this, &frmOptions::setOptions);
    connect(bttnCancel, &QPushButton::clicked, this, &frmOptions::close);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == opLevel_0 || watched == opLevel_1)) {
        auto *button = static_cast<QRadioButton *>(watched);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_busy && !button->isHidden() && button->rect().contains(mouse->position().toPoint()))
            bttnSet->setEnabled(true);
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
    readTargetInfo(m_device, [this, self, hold](TargetInfo info) {
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
            opLevel_0->show();
            opLevel_1->show();
            if (hostDriveOf(*m_optionBlock) == HostDrive::TtlRs232)
                opLevel_0->setChecked(true);
            else
                opLevel_1->setChecked(true);
        });
    });
}

bool frmOptions::ShowTargetInfo(const TargetInfo &info)
{
    for (const auto &line : info.lines)
        Picture1->appendPlainText(core::toQString(line));
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
        bttnSet->setEnabled(false);
}

void frmOptions::setOptions()
{
    if (!m_optionBlock || m_busy || link::refuseWhileHeld(m_device))
        return;
    const HostDrive drive = opLevel_0->isChecked() ? HostDrive::TtlRs232 : HostDrive::OptoIsolated;
    m_optionBlock = withHostDrive(*m_optionBlock, drive);
    auto hold = std::make_shared<link::DeviceHold>(m_device, kHolderName);
    setBusy(true);
    writeOptionBlock(m_device, *m_optionBlock,
                     [this, self = QPointer<frmOptions>(this), hold](bool ok) {
                         if (!self)
                             return;
                         setBusy(false);
                         if (!ok) {
                             bttnSet->setEnabled(true); // the choice stands: try again
                             return;
                         }
                         m_device.notifier.message(core::Icon::Information, kSavedText);
                         if (self)
                             close();
                     });
}

} // namespace xlt::options
