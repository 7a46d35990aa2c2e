#include "Settings.h"

#include "LogFolder.h"
#include "core/Text.h"

#include <QSettings>

namespace xlt::app {

namespace {
QString settingsKey(const std::string &section, const std::string &key)
{
    return core::toQString(section) + QLatin1Char('/') + core::toQString(key);
}
} // namespace

std::string QtSettingsStore::read(const std::string &section, const std::string &key,
                                  const std::string &fallback)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    const QVariant value = settings.value(settingsKey(section, key));
    if (settings.status() != QSettings::NoError || !value.isValid()
        || !value.canConvert<QString>())
        return fallback;
    return core::fromQString(value.toString());
}

void QtSettingsStore::write(const std::string &section, const std::string &key,
                            const std::string &value)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    settings.setValue(settingsKey(section, key), core::toQString(value));
    settings.sync();
}

std::string loadLogPath(SettingsStore &store, const std::string &programDir)
{
    // The default is worked out only when nothing is stored: it may make a folder.
    const std::string stored = store.read("STARTUP", "LOGPATH", {});
    return stored.empty() ? core::fromQString(defaultLogFolder(core::toQString(programDir)))
                          : stored;
}

void storeLogPath(SettingsStore &store, const std::string &logPath)
{
    store.write("STARTUP", "LOGPATH", logPath);
}

} // namespace xlt::app
