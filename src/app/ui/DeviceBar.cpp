#include "DeviceBar.h"

#include "core/FileIo.h"
#include "core/Text.h"
#include "link/ChoosablePorts.h"
#include "link/SimRegistry.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <filesystem>

namespace xlt::app {

DeviceBar::DeviceBar(link::ChoosablePorts &ports, QWidget *parent)
    : QStatusBar(parent)
    , m_choice(std::make_unique<link::DeviceChoice>(ports))
    , m_lblDeviceStatus(new QLabel(this))
    , m_cmbDevice(new QComboBox(this))
{
    setObjectName(QStringLiteral("sbrDevice"));
    m_lblDeviceStatus->setObjectName(QStringLiteral("lblDeviceStatus"));
    m_lblDeviceStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // No mnemonic: the task windows inside the main window have their own Alt+letters.
    auto *caption = new QLabel(QStringLiteral("Device:"), this);
    caption->setObjectName(QStringLiteral("lblDevicePick"));
    m_cmbDevice->setObjectName(QStringLiteral("cmbDevice"));
    m_cmbDevice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    addWidget(m_lblDeviceStatus, 1);
    addPermanentWidget(caption);
    addPermanentWidget(m_cmbDevice);

    m_tmrPorts.setObjectName(QStringLiteral("tmrPorts"));
    m_tmrPorts.setSingleShot(true);
    m_tmrPorts.setInterval(kSettleMs);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_tmrPorts,
            qOverload<>(&QTimer::start));
    connect(&m_tmrPorts, &QTimer::timeout, this, [this] {
        watchFolders();
        refresh();
    });
    connect(m_cmbDevice, &QComboBox::currentIndexChanged, this, &DeviceBar::chosen);
    watchFolders();
    showChoice();
}

DeviceBar::~DeviceBar() = default;

void DeviceBar::watchFolders()
{
    // The registry folder appears with the first emulator: until then its parent is watched.
    // A path, not a text: its bytes go to the file system as they are.
    QString registry = core::toQPath(std::filesystem::path(link::simRegistryDir()));
    if (!QFileInfo(registry).isDir())
        registry = QFileInfo(registry).absolutePath();
    const QStringList wanted{QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"), registry};
    for (const QString &folder : m_watcher.directories()) {
        if (!wanted.contains(folder))
            m_watcher.removePath(folder);
    }
    for (const QString &folder : wanted) {
        if (QFileInfo(folder).isDir() && !m_watcher.directories().contains(folder))
            m_watcher.addPath(folder);
    }
}

void DeviceBar::refresh()
{
    if (m_choice->refresh())
        showChoice();
}

void DeviceBar::showChoice()
{
    {
        const QSignalBlocker quiet(m_cmbDevice);
        m_cmbDevice->clear();
        for (const link::DeviceOption &option : m_choice->options())
            m_cmbDevice->addItem(core::toQString(option.label));
        m_cmbDevice->setCurrentIndex(static_cast<int>(m_choice->chosenIndex()));
    }
    const QString status = core::toQString(m_choice->statusText());
    m_lblDeviceStatus->setText(status);
    m_lblDeviceStatus->setToolTip(status);
}

void DeviceBar::chosen(int index)
{
    if (index < 0)
        return;
    m_choice->choose(static_cast<std::size_t>(index));
    showChoice();
}

} // namespace xlt::app
