// The run's two log files: names, paths, appended bytes and the failure messages.
#include "monitor/TrafficLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

using xlt::monitor::TrafficLog;

std::string readAll(const std::string &path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    const QByteArray data = file.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

bool exists(const std::string &path)
{
    return QFile::exists(QString::fromLatin1(path));
}

TEST(TrafficLog, BaseNameUsesDayMonthYearAnd24HourTime)
{
    const struct
    {
        QDateTime when;
        std::string name;
    } cases[] = {
        {QDateTime(QDate(2026, 12, 5), QTime(14, 3, 59)), "XLT_log_ 05 12 2026 14 03 59"},
        {QDateTime(QDate(2027, 1, 31), QTime(0, 0, 0)), "XLT_log_ 31 01 2027 00 00 00"},
        {QDateTime(QDate(2030, 7, 9), QTime(23, 59, 1)), "XLT_log_ 09 07 2030 23 59 01"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TrafficLog::baseName(c.when), c.name);
}

TEST(TrafficLog, PathsJoinWithOneSeparator)
{
    const struct
    {
        std::string dir;
        std::string target;
        std::string host;
    } cases[] = {
        {"/var/log/xlt", "/var/log/xlt/B.tgt", "/var/log/xlt/B.xlt"},
        {"/var/log/xlt/", "/var/log/xlt/B.tgt", "/var/log/xlt/B.xlt"},
        {"/", "/B.tgt", "/B.xlt"},
        {"", "B.tgt", "B.xlt"},
    };
    for (const auto &c : cases) {
        const TrafficLog log(c.dir, "B");
        EXPECT_EQ(log.targetPath(), c.target) << "dir '" << c.dir << "'";
        EXPECT_EQ(log.hostPath(), c.host) << "dir '" << c.dir << "'";
    }
}

TEST(TrafficLog, AppendsCrlfLinesAsLatin1BytesAndKeepsWhatIsThere)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TrafficLog log(dir.path().toStdString(), "XLT_log_ 05 12 2026 14 03 59");

    // Nothing to write: no file comes into being.
    EXPECT_EQ(log.appendTarget({}), "");
    EXPECT_FALSE(exists(log.targetPath()));

    EXPECT_EQ(log.appendTarget({"Packet #0", "CMD: POLL ", " ", ""}), "");
    EXPECT_EQ(log.appendTarget({"\xE9\xFF"}), "");
    EXPECT_EQ(readAll(log.targetPath()), "Packet #0\r\nCMD: POLL \r\n \r\n\r\n\xE9\xFF\r\n");
    EXPECT_FALSE(exists(log.hostPath()));

    // A second run in the same second continues the same files.
    TrafficLog again(dir.path().toStdString() + "/", "XLT_log_ 05 12 2026 14 03 59");
    EXPECT_EQ(again.appendHost({"a"}), "");
    EXPECT_EQ(again.appendTarget({"b"}), "");
    EXPECT_EQ(readAll(log.targetPath()), "Packet #0\r\nCMD: POLL \r\n \r\n\r\n\xE9\xFF\r\nb\r\n");
    EXPECT_EQ(readAll(log.hostPath()), "a\r\n");
}

TEST(TrafficLog, MissingDirectoryIsReportedWithTheFileAndTheReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TrafficLog log(dir.path().toStdString() + "/gone", "base");
    const std::string message = log.appendHost({"line"});
    EXPECT_NE(message.find(log.hostPath()), std::string::npos) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    EXPECT_FALSE(exists(log.hostPath()));
}

TEST(TrafficLog, FullDiskIsReported)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full on this system";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TrafficLog log(dir.path().toStdString(), "base");
    ASSERT_EQ(symlink("/dev/full", log.targetPath().c_str()), 0);
    const std::string message = log.appendTarget({"line"});
    EXPECT_NE(message.find(log.targetPath()), std::string::npos) << message;
    EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
}

} // namespace
