#include "frmSetDir.h"

#include "session/DirList.h"
#include "session/Session.h"
#include "session/Settings.h"
#include "session/ui/ui_frmSetDir.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStyle>

namespace xlt::session {

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kIndentPerLevel = 2;
} // namespace

frmSetDir::frmSetDir(Session &session, QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , ui(std::make_unique<Ui::frmSetDir>())
{
    ui->setupUi(this);
    setWindowIcon(QApplication::windowIcon());
    ui->Dir1->installEventFilter(this);
    ui->Dir1->setFocus();
    initConnections();
    load();
}

frmSetDir::~frmSetDir() = default;

void frmSetDir::initConnections()
{
    connect(ui->Drive1, &QComboBox::currentIndexChanged, this, &frmSetDir::driveChanged);
    connect(ui->Dir1, &QListWidget::itemDoubleClicked, this, &frmSetDir::entryActivated);
    connect(ui->bttnOK, &QPushButton::clicked, this, &frmSetDir::okClicked);
    connect(ui->bttnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSetDir::load()
{
    m_roots = driveRoots();
    {
        const QSignalBlocker blocker(ui->Drive1);
        for (const QString &root : m_roots)
            ui->Drive1->addItem(root);
    }
    // The default position, kept when LogPath cannot be shown.
    if (!showDir(chooserPath(".")) && !m_roots.empty())
        showDir(m_roots.front());

    const QString logPath = chooserPath(m_session.LogPath);
    const int drive = driveIndexOf(m_roots, logPath);
    if (drive < 0)
        return;
    ui->Drive1->setCurrentIndex(drive);
    showDir(logPath);
}

void frmSetDir::driveChanged(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_roots.size())
        return;
    // A drive that cannot be read (an empty removable drive) leaves the list where it was.
    if (!showDir(driveCurrentDir(m_roots[static_cast<std::size_t>(index)])))
        selectDrive(driveIndexOf(m_roots, m_current));
}

void frmSetDir::entryActivated(QListWidgetItem *item)
{
    if (!item)
        return;
    const QString path = item->data(kPathRole).toString();
    // A directory removed since it was listed: show what is there now.
    if (!showDir(path))
        showDir(m_current);
}

bool frmSetDir::showDir(const QString &dir)
{
    if (!isDirectory(dir))
        return false;
    m_current = chooserPath(dir);
    ui->Dir1->clear();
    QListWidgetItem *open = nullptr;
    for (const DirEntry &entry : dirListEntries(m_current)) {
        const QString indent(qsizetype{entry.depth} * kIndentPerLevel, QLatin1Char(' '));
        auto *item = new QListWidgetItem(
            style()->standardIcon(entry.open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon),
            indent + entry.name, ui->Dir1);
        item->setData(kPathRole, entry.path);
        if (entry.open)
            open = item;
    }
    ui->Dir1->setCurrentItem(open);
    selectDrive(driveIndexOf(m_roots, m_current));
    return true;
}

void frmSetDir::selectDrive(int index)
{
    const QSignalBlocker blocker(ui->Drive1);
    ui->Drive1->setCurrentIndex(index);
}

bool frmSetDir::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a highlighted line opens it, as a double-click does, instead of pressing OK.
    if (watched == ui->Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            entryActivated(ui->Dir1->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSetDir::okClicked()
{
    m_session.LogPath = m_current;
    storeLogPath(m_session.settings, m_current);
    accept();
}

} // namespace xlt::session
