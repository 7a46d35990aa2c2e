#include "session/Settings.h"
#include "support/MapStore.h"
#include "support/Watchdog.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace xlt::session;
using xlt::test::MapStore;

namespace {

// Nothing stored, or an empty text stored: the default. A stored folder is used unchanged, even
// when it does not exist.
TEST(Settings, LogPathDefaultsToProgramDirectoryElseIsUsedUnchanged)
{
    MapStore store;
    QTemporaryDir programDir;
    EXPECT_EQ(loadLogPath(store, programDir.path()), programDir.path());
    storeLogPath(store, "");
    EXPECT_EQ(loadLogPath(store, programDir.path()), programDir.path());
    storeLogPath(store, "/no/such/dir");
    EXPECT_EQ(store.values.at("STARTUP/LOGPATH"), "/no/such/dir");
    EXPECT_EQ(loadLogPath(store, "/opt/xlt"), "/no/such/dir");
}

// Directories named in any script survive a new instance unchanged.
TEST(Settings, QtStoreKeepsAnyCharactersAndReadsUnquotedCommasAsOneText)
{
    QtSettingsStore store;
    for (const QString &path :
         {QString::fromUtf8("/tmp/caf\u00e9 logs"), QString::fromUtf8("/tmp/logs \u20ac"),
          QString::fromUtf8("/tmp/\u0416\u0443\u0440\u043d\u0430\u043b"), QString("/tmp/a, b"),
          QString("/tmp/\"quoted\"")}) {
        storeLogPath(store, path);
        QtSettingsStore again;
        EXPECT_EQ(loadLogPath(again, "/fallback"), path) << path.toStdString();
    }
    QSettings(QStringLiteral("XLT"), QStringLiteral("XLT")).clear();
    const QTemporaryDir programDir;
    EXPECT_EQ(loadLogPath(store, programDir.path()), programDir.path());

    // A LOGPATH stored by hand with commas and no quotes is one directory, taken as it stands.
    // (One test: the store is one file per user, and tests may run side by side.)
    const QString fileName = QSettings(QStringLiteral("XLT"), QStringLiteral("XLT")).fileName();
    const std::pair<const char *, QString> rows[] = {
        {"LOGPATH=/data/logs, old ,x", "/data/logs, old ,x"},
        {"LOGPATH = /data/a,b\\\\c", "/data/a,b\\c"},
        {"LOGPATH=/data/caf\\xe9,\\x20ac", QString::fromUtf8("/data/caf\u00e9,\u20ac")},
        {"LOGPATH=/data/plain", "/data/plain"},
    };
    for (const auto &[line, expected] : rows) {
        QFile file(fileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("[OTHER]\nLOGPATH=/not/this,one\n[STARTUP]\n") + line + "\n");
        file.close();
        QtSettingsStore fresh;
        EXPECT_EQ(loadLogPath(fresh, "/fallback"), expected) << line;
    }
    QFile::remove(fileName);

    // A pipe at the settings file's name is neither read nor replaced: nothing waits on it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(fileName).constData(), 0600), 0);
    const auto stored = xlt::test::endsWithin<QString>([] {
        QtSettingsStore planted;
        storeLogPath(planted, "/data/new");
        return planted.read("STARTUP", "LOGPATH", "unread");
    });
    EXPECT_EQ(stored, "unread");
    EXPECT_FALSE(QFileInfo(fileName).isFile()); // still the pipe
    QFile::remove(fileName);
}

} // namespace
