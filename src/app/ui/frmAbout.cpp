#include "frmAbout.h"

#include "Version.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace xlt::app {

namespace {
constexpr auto kTitle = "XLT";

QFrame *etchedLine(const char *name, const QString &color, int height)
{
    auto *line = new QFrame;
    line->setObjectName(QLatin1String(name));
    line->setFixedHeight(height);
    line->setStyleSheet(QStringLiteral("background-color: %1; border: none;").arg(color));
    return line;
}
} // namespace

QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowIcon(QApplication::windowIcon());
    setWindowTitle(QStringLiteral("About ") + QLatin1String(kTitle));
    setModal(true);

    auto *picIcon = new QLabel;
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(windowIcon().pixmap(48, 48));

    auto *lblTitle = new QLabel(QLatin1String(kTitle));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    auto *lblVersion = new QLabel(versionText(kVersionMajor, kVersionMinor, kVersionRevision));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto *cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true); // Enter presses it; Esc rejects the dialog, which closes it too
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    // The etched rule: a grey line one pixel high over a white line two pixels high.
    auto *rule = new QVBoxLayout;
    rule->setSpacing(0);
    rule->addWidget(etchedLine("Line1_1", QStringLiteral("#808080"), 1));
    rule->addWidget(etchedLine("Line1_0", QStringLiteral("#ffffff"), 2));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(rule);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

} // namespace xlt::app
