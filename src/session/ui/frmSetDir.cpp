#include "frmSetDir.h"

#include "session/DirList.h"
#include "session/Session.h"
#include "session/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace xlt::session {

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kIndentPerLevel = 2;
} // namespace

frmSetDir::frmSetDir(Session &session, QWidget *parent)
    : QDialog(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("frmSetDir"));
    setModal(true);
    buildControls();
    initConnections();
    load();
    resize(380, 420);
}

void frmSetDir::buildControls()
{
    auto *Frame1 = new QFrame;
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    m_Drive1 = new QComboBox;
    m_Drive1->setObjectName(QStringLiteral("Drive1"));
    m_Dir1 = new QListWidget;
    m_Dir1->setObjectName(QStringLiteral("Dir1"));
    m_Dir1->setUniformItemSizes(true);
    m_Dir1->installEventFilter(this);
    auto *lists = new QVBoxLayout(Frame1);
    lists->addWidget(m_Drive1);
    lists->addWidget(m_Dir1, 1);

    m_bttnOK = new QPushButton(QStringLiteral("&OK"));
    m_bttnOK->setObjectName(QStringLiteral("bttnOK"));
    m_bttnOK->setDefault(true);
    m_bttnCancel = new QPushButton(QStringLiteral("&Cancel"));
    m_bttnCancel->setObjectName(QStringLiteral("bttnCancel"));
    m_bttnCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_bttnOK);
    buttons->addStretch(1);
    buttons->addWidget(m_bttnCancel);

    auto *page = new QVBoxLayout(this);
    page->addWidget(Frame1, 1);
    page->addLayout(buttons);

    setTabOrder(m_Dir1, m_Drive1);
    setTabOrder(m_Drive1, m_bttnOK);
    setTabOrder(m_bttnOK, m_bttnCancel);
    m_Dir1->setFocus();
}

void frmSetDir::initConnections()
{
    connect(m_Drive1, &QComboBox::currentIndexChanged, this, &frmSetDir::driveChanged);
    connect(m_Dir1, &QListWidget::itemDoubleClicked, this, &frmSetDir::entryActivated);
    connect(m_bttnOK, &QPushButton::clicked, this, &frmSetDir::okClicked);
    connect(m_bttnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSetDir::load()
{
    setWindowTitle(QStringLiteral("Set Directory"));
    setWindowIcon(QApplication::windowIcon());

    m_roots = driveRoots();
    {
        const QSignalBlocker blocker(m_Drive1);
        for (const QString &root : m_roots)
            m_Drive1->addItem(root);
    }
    // The default position, kept when LogPath cannot be shown.
    if (!showDir(chooserPath(".")) && !m_roots.empty())
        showDir(m_roots.front());

    const QString logPath = chooserPath(m_session.LogPath);
    const int drive = driveIndexOf(m_roots, logPath);
    if (drive < 0)
        return;
    m_Drive1->setCurrentIndex(drive);
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
    m_Dir1->clear();
    QListWidgetItem *open = nullptr;
    for (const DirEntry &entry : dirListEntries(m_current)) {
        const QString indent(qsizetype{entry.depth} * kIndentPerLevel, QLatin1Char(' '));
        auto *item = new QListWidgetItem(
            style()->standardIcon(entry.open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon),
            indent + entry.name, m_Dir1);
        item->setData(kPathRole, entry.path);
        if (entry.open)
            open = item;
    }
    m_Dir1->setCurrentItem(open);
    selectDrive(driveIndexOf(m_roots, m_current));
    return true;
}

void frmSetDir::selectDrive(int index)
{
    const QSignalBlocker blocker(m_Drive1);
    m_Drive1->setCurrentIndex(index);
}

bool frmSetDir::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a highlighted line opens it, as a double-click does, instead of pressing OK.
    if (watched == m_Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            entryActivated(m_Dir1->currentItem());
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
