#pragma once

#include <string>

namespace xlt::app {

/// The per-user settings store: one text value under (application, section, key).
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// The stored value, or `fallback` when it is missing or unreadable.
    virtual std::string read(const std::string &section, const std::string &key,
                             const std::string &fallback) = 0;
    virtual void write(const std::string &section, const std::string &key,
                       const std::string &value) = 0;
};

/// QSettings under organisation and application "XLT" (on Linux ~/.config/XLT/XLT.conf).
class QtSettingsStore final : public SettingsStore
{
public:
    std::string read(const std::string &section, const std::string &key,
                     const std::string &fallback) override;
    void write(const std::string &section, const std::string &key,
               const std::string &value) override;
};

/// The log directory setting: section "STARTUP", key "LOGPATH". When it is missing (or empty),
/// the default of defaultLogFolder(): the directory that holds the program (without a trailing
/// separator), or "XLT logs" in the user's documents folder where the program's directory
/// cannot be written.
std::string loadLogPath(SettingsStore &store, const std::string &programDir);
void storeLogPath(SettingsStore &store, const std::string &logPath);

} // namespace xlt::app
