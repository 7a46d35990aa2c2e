#include "frmAbout.h"

#include "Version.h"
#include "app/ui/ui_frmAbout.h"

#include <QApplication>

namespace xlt::app {

QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmAbout>())
{
    ui->setupUi(this);
    setWindowIcon(QApplication::windowIcon());
    ui->picIcon->setPixmap(windowIcon().pixmap(48, 48));
    // The title is six points larger than the system's font, and bold.
    QFont titleFont = ui->lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    ui->lblTitle->setFont(titleFont);
    ui->lblVersion->setText(versionText(kVersionMajor, kVersionMinor, kVersionRevision));
    // Enter presses OK; Esc rejects the dialog, which closes it too.
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

frmAbout::~frmAbout() = default;

} // namespace xlt::app
