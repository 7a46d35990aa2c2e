#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

namespace xlt::app {

/// The about box: the application's title "XLT" and "Version major.minor.revision".
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

private:
    std::unique_ptr<Ui::frmAbout> ui;
};

/// "Version " + major.minor.revision of the program's version record (1.0.0.3 gives 1.0.3).
QString versionText(int major, int minor, int revision);

} // namespace xlt::app
