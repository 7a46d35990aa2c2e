// The one place that opens files: every reader and writer against what another user, or bad
// luck, may have put at the name: links, pipes, devices, folders, odd name bytes, a full disk.
#include "core/FileIo.h"
#include "core/Text.h"
#include "support/SmallTmpfs.h"
#include "support/Watchdog.h"

#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace xlt::core;
namespace fs = std::filesystem;

namespace {

QByteArray contents(const fs::path &path)
{
    const FileRead read = readRegularFile(path, 1 << 20);
    return read.bytes.value_or("<unreadable>");
}

struct Outcome
{
    bool done = false;
    QString reason;
};

/// The four ways to a file: two that write, two that read.
const std::pair<const char *, std::function<Outcome(const fs::path &)>> kOperations[] = {
    {"write",
     [](const fs::path &p) {
         Outcome o;
         o.done = writeFileAtomically(p, "new", &o.reason);
         return o;
     }},
    {"append",
     [](const fs::path &p) {
         Outcome o;
         o.done = appendWhole(p, "new", &o.reason);
         return o;
     }},
    {"read",
     [](const fs::path &p) {
         const FileRead read = readRegularFile(p, 100);
         return Outcome{read.bytes.has_value(), read.reason};
     }},
    {"open",
     [](const fs::path &p) {
         Outcome o;
         o.done = openRegularFile(p, &o.reason) != nullptr;
         return o;
     }},
};

class PlantedFiles : public ::testing::Test
{
protected:
    fs::path at(const std::string &name) const { return toPath(dir.path()) / name; }

    void SetUp() override
    {
        ASSERT_TRUE(writeFileAtomically(victim, "victim's"));
        ASSERT_EQ(::symlink(victim.c_str(), at("link").c_str()), 0);
        ASSERT_EQ(::symlink(at("nowhere").c_str(), at("dangling").c_str()), 0);
        ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
        ASSERT_EQ(::mkfifo(at("fifo with reader").c_str(), 0600), 0);
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
        // A twin of /dev/null (never the real one: a faulty write as root would replace it).
        madeDevice = ::mknod(at("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        if (!madeDevice) { // no right to make devices
            ASSERT_EQ(::mkfifo(at("device").c_str(), 0600), 0);
        }

        // A reader that keeps its pipe open: a write that opened it would block once it filled.
        reader = ::open(at("fifo with reader").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
    }
    void TearDown() override
    {
        ::close(reader);
        fs::remove_all(toPath(dir.path())); // QTemporaryDir cannot name what is not UTF-8
    }

    QTemporaryDir dir;
    const fs::path victim = at("victim");
    int reader = -1;
    bool madeDevice = false;
};

// Rows: the name, whether a writer does it, the words of a writer's refusal, whether a reader
// takes it (regular files and links to them).
TEST_F(PlantedFiles, WritersRefuseWhatIsNoRegularFileReadersNeverBlock)
{
    const std::tuple<fs::path, bool, const char *, bool> rows[] = {
        {at("new"), true, "", false},
        {at("n\377ame.ufg"), true, "", false},
        {at("link"), false, "symbolic link", true},
        {at("dangling"), false, "symbolic link", false},
        {at("fifo"), false, "named pipe", false},
        {at("fifo with reader"), false, "named pipe", false},
        {at("device"), false, madeDevice ? "device" : "named pipe", false},
        {at("folder"), false, "folder", false},
        {at("no folder") / "x", false, "No such file or directory", false},
    };
    for (const auto &[name, operation] : kOperations) {
        const bool writes = name[0] == 'w' || name[0] == 'a';
        for (const auto &[path, written, refusal, readable] : rows) {
            if (writes && written)
                fs::remove(path);
            SCOPED_TRACE(std::string(name) + " " + pathText(path));
            const auto outcome = xlt::test::endsWithin<Outcome>(
                [&operation = operation, &path = path] { return operation(path); });
            ASSERT_TRUE(outcome) << "it hangs";
            const std::string reason = outcome->reason.toStdString();
            EXPECT_EQ(outcome->done, written || (!writes && readable)) << reason;
            EXPECT_EQ(outcome->reason.isEmpty(), outcome->done) << reason;
            EXPECT_TRUE(!writes || outcome->reason.contains(QLatin1String(refusal))) << reason;
            EXPECT_EQ(contents(writes && written ? path : victim),
                      writes && written ? "new" : "victim's");
        }
    }
    for (const auto &entry : fs::directory_iterator(toPath(dir.path())))
        EXPECT_FALSE(entry.path().native().ends_with(".tmp")) << "left behind: " << entry.path();
}

TEST(ReadRegularFile, TakesNoMoreThanTheLimit)
{
    QTemporaryDir dir;
    const fs::path path = toPath(dir.filePath("eight"));
    ASSERT_TRUE(writeFileAtomically(path, "12345678"));
    EXPECT_EQ(readRegularFile(path, 8).bytes, "12345678");
    const FileRead large = readRegularFile(path, 7);
    EXPECT_FALSE(large.bytes);
    EXPECT_EQ(large.failure, ReadFailure::TooLarge);
    EXPECT_EQ(readRegularFile("/dev/zero", 100).failure, ReadFailure::NotRegular);
}

// A save keeps the old file's permissions and leaves it whole when the disk is full; an append
// that does not fit is cut back, so the next one starts a fresh line.
TEST(WriteFileAtomically, AFullDiskKeepsTheOldFile)
{
    xlt::test::SmallTmpfs fs;
    XLT_SKIP_WITHOUT_TMPFS(fs);
    const fs::path path = toPath(fs.filePath("state"));
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(path, "older"));
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const fs::path log = toPath(fs.filePath("log"));
    ASSERT_TRUE(appendWhole(log, "first\r\n"));
    ASSERT_TRUE(fs.fillLeaving(4096));
    QString reason;
    EXPECT_FALSE(writeFileAtomically(path, QByteArray(8000, 'n'), &reason));
    EXPECT_TRUE(reason.contains("No space left on device")) << reason.toStdString();
    EXPECT_EQ(contents(path), "older");
    reason.clear();
    EXPECT_FALSE(appendWhole(log, QByteArray(10000, 'x'), &reason)); // 4 KiB of it fit
    EXPECT_TRUE(reason.contains("No space left on device")) << reason.toStdString();
    EXPECT_EQ(contents(log), "first\r\n");
    // No temporary file left: the state, the log and the filler.
    EXPECT_EQ(QDir(fs.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(PathText, KeepsEveryByteReadable)
{
    const std::pair<const char *, const char *> rows[] = {
        {"/var/log/xlt", "/var/log/xlt"},
        {"n\377ame.ufg", R"(n\xFFame.ufg)"},
        {"caf\xc3\xa9", "caf\xe9"},                    // é is Latin-1
        {"logs \xe2\x82\xac", R"(logs \xE2\x82\xAC)"}, // € is not
        {"\x1b]0;title\x07", R"(\x1B]0;title\x07)"},
        {"del\x7f", R"(del\x7F)"},
        {"\xc2\x9b", R"(\xC2\x9B)"},         // a C1 control
        {"\xc0\xaf", R"(\xC0\xAF)"},         // an overlong '/'
        {"\xed\xa0\x80", R"(\xED\xA0\x80)"}, // a surrogate
        {"\xe2\x82", R"(\xE2\x82)"},         // cut short
    };
    for (const auto &[name, shown] : rows)
        EXPECT_EQ(pathText(name), shown) << name;
}

// (The hexadecimal forms are the decoders' and the listing's: tests/monitor.)
TEST(Text, Latin1RoundTripKeepsEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(fromQString(toQString(all)), all);
}

} // namespace

TEST(FileIo, SystemFoldersAreWholeNames)
{
    const std::pair<const char *, bool> rows[] = {
        {"/usr", true},   {"/usr/bin", true},   {"/sbin/", true},     {"/bin/../usr/lib", true},
        {"/usrX", false}, {"/binaries", false}, {"/home/usr", false}, {"/usr/../home", false}};
    for (const auto &[path, system] : rows)
        EXPECT_EQ(isSystemFolder(QString::fromLatin1(path)), system) << path;
    // Windows' folders come from the environment and are compared without regard to case; a
    // drive there ("C:", an odd setting) is no system folder.
    const QByteArray saved = qgetenv("ProgramFiles");
    qputenv("ProgramFiles", "/opt/Program Files/");
    qputenv("SystemRoot", "C:");
    const std::pair<const char *, bool> windowsRows[] = {{"/opt/Program Files/XLT", true},
                                                         {"/OPT/program files", true},
                                                         {"/opt/Program Files2/XLT", false},
                                                         {"C:/Users/ann", false}};
    for (const auto &[path, system] : windowsRows)
        EXPECT_EQ(isSystemFolder(QString::fromLatin1(path)), system) << path;
    qputenv("ProgramFiles", saved);
    qunsetenv("SystemRoot");
}
