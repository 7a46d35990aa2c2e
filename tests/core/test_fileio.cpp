// Reading files of bounded size and writing them without losing the old contents.
#include "core/FileIo.h"
#include "support/SmallTmpfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace xlt::core;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Pipes and devices are refused before anything is read (a FIFO without a writer would block
// the open, /dev/zero would never end); a file over the limit is not read.
TEST(ReadRegularFile, TakesOnlyRegularFilesWithinTheLimit)
{
    QTemporaryDir dir;
    const QString euro = dir.filePath(QString::fromUtf8("\u20acuro.ufg"));
    ASSERT_TRUE(writeRaw(euro, "12345678"));
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.filePath("link");
    ASSERT_EQ(symlink(QFile::encodeName(euro).constData(), QFile::encodeName(link).constData()), 0);
    // Rows: path, limit, read, failure when not.
    const std::tuple<QString, qint64, bool, ReadFailure> rows[] = {
        {euro, 8, true, {}},
        {link, 8, true, {}},
        {euro, 7, false, ReadFailure::TooLarge},
        {fifo, 100, false, ReadFailure::NotRegular},
        {"/dev/zero", 100, false, ReadFailure::NotRegular},
        {dir.path(), 100, false, ReadFailure::NotRegular},
        {dir.filePath("missing"), 100, false, ReadFailure::CannotOpen},
    };
    for (const auto &[path, limit, read, failure] : rows) {
        const FileRead result = readRegularFile(path, limit);
        EXPECT_EQ(result.bytes.has_value(), read) << path.toStdString();
        if (read)
            EXPECT_EQ(*result.bytes, "12345678");
        else
            EXPECT_EQ(result.failure, failure) << path.toStdString();
        EXPECT_EQ(result.reason.isEmpty(), read) << path.toStdString();
    }
}

TEST(WriteFileAtomically, ReplacesWholeOrKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromUtf8("\u0416\u0443\u0440\u043d\u0430\u043b"));
    EXPECT_TRUE(writeFileAtomically(path, "old"));
    EXPECT_TRUE(writeFileAtomically(path, "new contents"));
    EXPECT_EQ(contents(path), "new contents");
    QString reason;
    EXPECT_FALSE(writeFileAtomically(dir.filePath("no/such/folder"), "x", &reason));
    EXPECT_FALSE(reason.isEmpty());
    // A pipe or a folder is never replaced by a file.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    for (const QString &other : {fifo, dir.filePath("folder")}) {
        EXPECT_FALSE(writeFileAtomically(other, "x", &reason)) << other.toStdString();
        EXPECT_FALSE(QFileInfo(other).isFile()) << other.toStdString();
    }
}

// A buffered save would commit an empty file here and call it a success.
TEST(WriteFileAtomically, AFullDiskKeepsTheOldFile)
{
    xlt::test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const QString path = fs.filePath("state");
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    ASSERT_TRUE(fs.fillLeaving(0));
    QString reason;
    EXPECT_FALSE(writeFileAtomically(path, QByteArray(300, 'n'), &reason));
    EXPECT_TRUE(reason.contains("No space left on device")) << reason.toStdString();
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(QDir(fs.path()).entryList(QDir::Files).size(), 1); // no temporary file left
}

TEST(AppendWhole, AppendsOrLeavesTheFileAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log");
    EXPECT_TRUE(appendWhole(path, "a\r\n"));
    EXPECT_TRUE(appendWhole(path, "b\r\n"));
    EXPECT_EQ(contents(path), "a\r\nb\r\n");

    xlt::test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const QString full = fs.filePath("log");
    ASSERT_TRUE(appendWhole(full, "first\r\n"));
    ASSERT_TRUE(fs.fillLeaving(4096));
    QString reason;
    EXPECT_FALSE(appendWhole(full, QByteArray(10000, 'x'), &reason)); // 4 KiB of it fit
    EXPECT_TRUE(reason.contains("No space left on device")) << reason.toStdString();
    EXPECT_EQ(contents(full), "first\r\n");
}

} // namespace
