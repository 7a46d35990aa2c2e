#include "frmOptions.h"

#include "app/Session.h"
#include "app/ui/TextPanel.h"
#include "core/Text.h"
#include "link/DeviceContext.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace xlt::options {

frmOptions::frmOptions(app::Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
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
    Picture1 = app::makeTextPanel("Picture1", 110, Frame1);
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
        if (!button->isHidden() && button->rect().contains(mouse->position().toPoint()))
            bttnSet->setEnabled(true);
    }
    return QWidget::eventFilter(watched, event);
}

void frmOptions::readFromDevice()
{
    if (link::refuseWhileHeld(m_session.device))
        return;
    if (!ShowTargetInfo())
        return;
    m_optionBlock = readOptionBlock(m_session.device);
    if (!m_optionBlock)
        return;
    opLevel_0->show();
    opLevel_1->show();
    if (hostDriveOf(*m_optionBlock) == HostDrive::TtlRs232)
        opLevel_0->setChecked(true);
    else
        opLevel_1->setChecked(true);
}

bool frmOptions::ShowTargetInfo()
{
    const TargetInfo info = readTargetInfo(m_session.device);
    for (const auto &line : info.lines)
        Picture1->appendPlainText(core::toQString(line));
    return info.portFound;
}

void frmOptions::setOptions()
{
    if (!m_optionBlock || link::refuseWhileHeld(m_session.device))
        return;
    const HostDrive drive = opLevel_0->isChecked() ? HostDrive::TtlRs232 : HostDrive::OptoIsolated;
    m_optionBlock = withHostDrive(*m_optionBlock, drive);
    if (!writeOptionBlock(m_session.device, *m_optionBlock))
        return;
    m_session.device.notifier.message(core::Icon::Information, kSavedText);
    close();
}

} // namespace xlt::options
