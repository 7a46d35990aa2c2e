#pragma once

#include <QString>

namespace xlt::session {

/// The per-user settings store: one text value under (application, section, key).
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// The stored value, or `fallback` when it is missing or unreadable.
    virtual QString read(const QString &section, const QString &key, const QString &fallback) = 0;
    virtual void write(const QString &section, const QString &key, const QString &value) = 0;
};

/// QSettings under organisation and application "XLT" (on Linux ~/.config/XLT/XLT.conf). A value
/// is always one text: one stored by hand without quotes but with commas in it (which QSettings
/// would read as a list) is taken whole, as it stands in the file.
class QtSettingsStore final : public SettingsStore
{
public:
    QString read(const QString &section, const QString &key, const QString &fallback) override;
    void write(const QString &section, const QString &key, const QString &value) override;
};

/// The log directory setting: section "STARTUP", key "LOGPATH". When it is missing (or empty),
/// the default of defaultLogFolder(): the directory that holds the program (without a trailing
/// separator), or "XLT logs" in the user's documents folder where the program's directory
/// cannot be written.
QString loadLogPath(SettingsStore &store, const QString &programDir);
void storeLogPath(SettingsStore &store, const QString &logPath);

} // namespace xlt::session
