#include "Settings.h"

#include "LogFolder.h"
#include "core/FileIo.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <filesystem>
#include <optional>

namespace xlt::session {

namespace {

constexpr qint64 kMaxSettingsBytes = qint64{1024} * 1024;

QString settingsKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

#ifndef Q_OS_WIN

/// The text after "key=" in `section` of an INI text, blanks around it removed; null when the
/// line is not there.
QString rawIniValue(const QByteArray &ini, const QString &section, const QString &key)
{
    const QString header = QLatin1Char('[') + section + QLatin1Char(']');
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(ini).split(QLatin1Char('\n'))) {
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

/// An INI text in a temporary file, for QSettings to read and change: QSettings itself never
/// opens the settings file, so a pipe or a device there cannot hang it, and the file is only
/// ever replaced whole (core::writeFileAtomically).
class IniCopy
{
public:
    explicit IniCopy(const QByteArray &ini)
    {
        m_valid = m_file.open() && m_file.write(ini) == ini.size() && m_file.flush();
        m_file.close();
    }
    bool valid() const { return m_valid; }
    QString fileName() const { return m_file.fileName(); }
    QByteArray bytes()
    {
        const core::FileRead read =
            core::readRegularFile(core::toPath(fileName()), kMaxSettingsBytes);
        return read.bytes.value_or(QByteArray());
    }

private:
    QTemporaryFile m_file;
    bool m_valid = false;
};

/// `raw` read as one quoted INI text, so that its escapes (\\, \xNN...) mean what they mean to
/// QSettings but its commas separate nothing.
QString unescapeAsOneText(const QString &raw)
{
    QString quoted = raw;
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    const IniCopy copy("[v]\nv=\"" + quoted.toUtf8() + "\"\n");
    if (!copy.valid())
        return {};
    const QVariant value = QSettings(copy.fileName(), QSettings::IniFormat).value("v/v");
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

/// The settings file (~/.config/XLT/XLT.conf, or under $XDG_CONFIG_HOME).
QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/XLT/XLT.conf");
}

/// The settings file's text: empty when there is none; nothing when it cannot be read (a pipe,
/// a device, a file too large).
std::optional<QByteArray> settingsText()
{
    const std::filesystem::path path = core::toPath(settingsFile());
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return QByteArray();
    return core::readRegularFile(path, kMaxSettingsBytes).bytes;
}

#endif

} // namespace

#ifdef Q_OS_WIN

QString QtSettingsStore::read(const QString &section, const QString &key, const QString &fallback)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    const QVariant value = settings.value(settingsKey(section, key));
    if (settings.status() != QSettings::NoError || !value.isValid() || !value.canConvert<QString>())
        return fallback;
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                    : value.toString();
}

void QtSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    QSettings settings(QStringLiteral("XLT"), QStringLiteral("XLT"));
    settings.setValue(settingsKey(section, key), value);
    settings.sync();
}

#else

QString QtSettingsStore::read(const QString &section, const QString &key, const QString &fallback)
{
    const std::optional<QByteArray> ini = settingsText();
    if (!ini || ini->isEmpty())
        return fallback;
    const IniCopy copy(*ini);
    if (!copy.valid())
        return fallback;
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    const QVariant value = settings.value(settingsKey(section, key));
    if (settings.status() != QSettings::NoError || !value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::QStringList) {
        // An unquoted value with commas: QSettings split it and dropped the blanks around the
        // commas. Take the line as it stands; failing that, join the parts back.
        const QString raw = rawIniValue(*ini, section, key);
        const QString whole = raw.isNull() ? QString() : unescapeAsOneText(raw);
        return whole.isNull() ? value.toStringList().join(QLatin1Char(',')) : whole;
    }
    if (!value.canConvert<QString>())
        return fallback;
    return value.toString();
}

void QtSettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    // A settings file that cannot be read (a pipe, a device) is not replaced either.
    const std::optional<QByteArray> ini = settingsText();
    if (!ini)
        return;
    IniCopy copy(*ini);
    if (!copy.valid())
        return;
    {
        QSettings settings(copy.fileName(), QSettings::IniFormat);
        settings.setValue(settingsKey(section, key), value);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return;
    }
    const QString file = settingsFile();
    QDir().mkpath(QFileInfo(file).path());
    core::writeFileAtomically(core::toPath(file), copy.bytes());
}

#endif

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
