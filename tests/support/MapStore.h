#pragma once

#include "session/Settings.h"

#include <QString>
#include <map>

namespace xlt::test {

/// Settings in memory, keyed "section/key"; a value never written reads as the fallback.
class MapStore final : public session::SettingsStore
{
public:
    QString read(const QString &section, const QString &key, const QString &fallback) override
    {
        auto it = values.find(section + "/" + key);
        return it == values.end() ? fallback : it->second;
    }
    void write(const QString &section, const QString &key, const QString &value) override
    {
        values[section + "/" + key] = value;
    }
    std::map<QString, QString> values;
};

} // namespace xlt::test
