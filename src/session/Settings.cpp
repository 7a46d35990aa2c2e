#include "Settings.h"

#include "LogFolder.h"
#include "core/FileIo.h"

#include <QSettings>
#include <QTemporaryFile>

namespace xlt::session {

namespace {

constexpr qint64 kMaxSettingsBytes = qint64{1024} * 1024;

QString settingsKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

/// The text after "key=" in `section` of an INI file, blanks around it removed; null when the
/// file or the line is not there.
QString rawIniValue(const QString &fileName, const QString &section, const QString &key)
{
    const core::FileRead file = core::readRegularFile(fileName, kMaxSettingsBytes);
    if (!file.bytes)
        return {};
    const QString header = QLatin1Char('[') + section + QLatin1Char(']');
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(*file.bytes).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            inSection = trimmed == header;
            continue;
        }
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        if (inSection && equals > 0 && trimmed.left(equals).trimmed() == key)
            return trimmed.mid(equals + 1).trimmed();
    }
    return {};
}

/// `raw` read as one quoted INI text, so that its escapes (\\, \xNN...) mean what they mean to
/// QSettings but its commas separate nothing.
QString unescapeAsOneText(const QString &raw)
{
    QTemporaryFile file;
    if (!file.open())
        return {};
    QString quoted = raw;
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    file.write("[v]\nv=\"" + quoted.toUtf8() + "\"\n");
    file.close();
    const QVariant value = QSettings(file.fileName(), QSettings::IniFormat).value("v/v");
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

} // namespace

QString QtSettingsStore::read(const QString &section, const QString &key, const QString &fallback)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    const QVariant value = settings.value(settingsKey(section, key));
    if (settings.status() != QSettings::NoError || !value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::QStringList) {
        // An unquoted value with commas: QSettings split it and dropped the blanks around the
        // commas. Take the line as it stands; failing that, join the parts back.
        const QString raw = rawIniValue(settings.fileName(), section, key);
        const QString whole = raw.isNull() ? QString() : unescapeAsOneText(raw);
        return whole.isNull() ? value.toStringList().join(QLatin1Char(',')) : whole;
    }
    if (!value.canConvert<QString>())
        return fallback;
    return value.toString();
}

void QtSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    settings.setValue(settingsKey(section, key), value);
    settings.sync();
}

QString loadLogPath(SettingsStore &store, const QString &programDir)
{
    // The default is worked out only when nothing is stored: it may make a folder.
    const QString stored = store.read(QStringLiteral("STARTUP"), QStringLiteral("LOGPATH"), {});
    return stored.isEmpty() ? defaultLogFolder(programDir) : stored;
}

void storeLogPath(SettingsStore &store, const QString &logPath)
{
    store.write(QStringLiteral("STARTUP"), QStringLiteral("LOGPATH"), logPath);
}

} // namespace xlt::session
