#include "app/Settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using namespace xlt::app;

namespace {

class MapStore final : public SettingsStore
{
public:
    std::string read(const std::string &section, const std::string &key,
                     const std::string &fallback) override
    {
        auto it = values.find(section + "/" + key);
        return it == values.end() ? fallback : it->second;
    }
    void write(const std::string &section, const std::string &key,
               const std::string &value) override
    {
        values[section + "/" + key] = value;
    }
    std::map<std::string, std::string> values;
};

TEST(Settings, LogPathDefaultsToProgramDirectory)
{
    MapStore store;
    QTemporaryDir programDir;
    EXPECT_EQ(loadLogPath(store, programDir.path().toStdString()), programDir.path().toStdString());
}

TEST(Settings, StoredLogPathIsUsedUnchangedEvenWhenMissing)
{
    MapStore store;
    storeLogPath(store, "/no/such/dir");
    EXPECT_EQ(store.values.at("STARTUP/LOGPATH"), "/no/such/dir");
    EXPECT_EQ(loadLogPath(store, "/opt/xlt"), "/no/such/dir");
}

TEST(Settings, QtStoreSurvivesANewInstanceAndKeepsLatin1)
{
    QtSettingsStore store;
    const std::string path = "/tmp/caf\xe9 logs";
    storeLogPath(store, path);
    QtSettingsStore again;
    const QTemporaryDir programDir;
    const std::string fallback = programDir.path().toStdString();
    EXPECT_EQ(loadLogPath(again, fallback), path);
    QSettings(QStringLiteral("XLT"), QStringLiteral("XLT")).clear();
    EXPECT_EQ(loadLogPath(again, fallback), fallback);
}

} // namespace
