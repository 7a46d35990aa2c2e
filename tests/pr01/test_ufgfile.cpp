// Configuration files: their text, their names and where they are saved. (Which files hold a
// whole configuration, as xltctl config write takes it, and the line of each row's column that
// a message names: tests/cli/test_command_line.cpp.)
#include "core/FileIo.h"
#include "pr01/ConfigFolder.h"
#include "pr01/UfgFile.h"
#include "support/RecordingNotifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using namespace xlt::pr01;
using Texts = std::vector<std::string>;

namespace {

/// Runs `body` while `dir` is unwritable, also for root (`chattr +i`); false when that fails.
bool whileImmutable(const QString &dir, const std::function<void()> &body)
{
    const std::string quoted = " '" + dir.toStdString() + "' 2>/dev/null";
    if (std::system(("chattr +i" + quoted).c_str()) != 0)
        return false;
    body(); // a failed ASSERT returns from here only, so the flag is always undone
    return std::system(("chattr -i" + quoted).c_str()) == 0;
}

std::string fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

Pr01Texts edited()
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003 V1.02 \xC4nderung "; // Latin-1, and a blank at the end is kept
    texts.bootVersion = "BOOT-7";
    texts.code[0] = "6"; // an edited one-digit text is kept as typed
    texts.country[2] = "2a";
    texts.exp[7] = "FF";
    return texts;
}

class UfgFileTest : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
    xlt::test::RecordingNotifier notifier;
};

} // namespace

TEST_F(UfgFileTest, GoldenFileRoundTripAndShortFile)
{
    const QString file = path("x.ufg");
    ASSERT_TRUE(saveUfgFile(xlt::core::toPath(file), Pr01Texts::initial()));
    EXPECT_EQ(fileBytes(file), fileBytes(QStringLiteral(XLT_TEST_DATA_DIR "/initial.ufg")));

    ASSERT_TRUE(saveUfgFile(xlt::core::toPath(file), edited()));
    Pr01Texts boxes = Pr01Texts::initial();
    EXPECT_TRUE(loadConfigFileInto(xlt::core::toPath(file), boxes, notifier));
    EXPECT_EQ(boxes, edited());
    EXPECT_TRUE(notifier.messages.empty());

    // A file that ends in the currency section, before row 5 (code 66): rows 0 to 4 are taken.
    const std::size_t row5 = ufgText(edited()).find("\r\n66\r\n") + 2;
    ASSERT_TRUE(QFile::resize(file, static_cast<qint64>(row5)));
    boxes = Pr01Texts::initial();
    EXPECT_FALSE(loadConfigFileInto(xlt::core::toPath(file), boxes, notifier));
    EXPECT_EQ(notifier.texts(), Texts{"Cannot open config file " + file.toStdString()});
    Pr01Texts expected = edited();
    expected.exp[7] = "00"; // row 7 was never reached
    EXPECT_EQ(boxes, expected);
}

TEST(UfgFile, DelimitedFields)
{
    // Rows: text, version, boot version, and the lines they start on (0: not given).
    const std::tuple<const char *, const char *, const char *, int, int> rows[] = {
        {"[VERSION DATA]\r\n  \tV1,5 more\r\n", "V1", "", 2, 0},
        {"[VERSION DATA]\r\n\"V, 1\" rest,[BOOT VERSION]\nB\n", "V, 1", "B", 2, 3},
        {"[BOOT VERSION]\r\n\"open\r[VERSION DATA]\r\n\r\nx", "", "open", 4, 2}, // "" on 4
        {"[BOOT VERSION]\r\n1\r\n[BOOT VERSION]\r\n2\r\n", "", "2", 0, 4},
        {"[version data]\r\nx\r\n", "", "", 0, 0},
        {"\xEF\xBB\xBF[VERSION DATA]\r\nV\r\n", "V", "", 2, 0},   // a byte-order mark
        {"\n\xEF\xBB\xBF[VERSION DATA]\r\nV\r\n", "", "", 0, 0}}; // only at the start
    for (const auto &[content, version, boot, versionLine, bootLine] : rows) {
        Pr01Texts boxes = Pr01Texts::initial();
        const UfgSections found = applyUfgSections(content, boxes);
        EXPECT_FALSE(found.cut) << content;
        EXPECT_EQ(boxes.version, version) << content;
        EXPECT_EQ(boxes.bootVersion, boot) << content;
        EXPECT_EQ(found.lines.version, versionLine) << content;
        EXPECT_EQ(found.lines.bootVersion, bootLine) << content;
    }
}

TEST_F(UfgFileTest, SaveNamesTheFileAfterTheVersionAndStaysInsideTheFolder)
{
    const QString folder = ensureConfigFolder(dir.path());
    ASSERT_EQ(folder, path("PR01Cfg"));
    // Rows: version, file name, saved.
    const std::tuple<std::string, std::string, bool> rows[] = {
        {"ABCDEFGHIJKLMNO PQR", "ABCDEFGHIJKLMNO", true},
        {"ABCDEFGHIJ", "ABCDEFG", true},
        {"V1..2", "V1..2", true},
        {"", "", true},
        {" lead", "", true},
        {"..", "..", false},
        {"../evil", "../evil", false},
        {"C:\\x", "C:\\x", false},
        {"a/b c", "a/b", false},
        {"a\x7F b", "a\x7F", false},
        {"a\x1F b", "a\x1F", false},
        {std::string(251, 'n') + " x", std::string(251, 'n'), true}};
    for (const auto &[version, name, saved] : rows) {
        notifier.messages.clear();
        Pr01Texts texts = Pr01Texts::initial();
        texts.version = version;
        EXPECT_EQ(saveConfiguration(folder, texts, notifier), saved) << version;
        const std::string file = folder.toStdString() + "/" + name + ".ufg";
        EXPECT_EQ(
            notifier.texts(),
            saved ? Texts{}
                  : Texts{"Cannot save configuration file " +
                          xlt::core::pathText(xlt::core::toPath(QString::fromStdString(file)))});
        EXPECT_EQ(fileBytes(QString::fromStdString(file)), saved ? ufgText(texts) : "<missing>");
    }
    const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
    EXPECT_EQ(QDir(dir.path()).entryList(all), QStringList{QStringLiteral("PR01Cfg")});
    EXPECT_EQ(QDir(folder).entryList(all).size(), 5); // one for each row saved, two of them ".ufg"
    EXPECT_FALSE(isSafeUfgName(QString(252, 'n')));   // the file system would refuse it too
    EXPECT_FALSE(isSafeUfgName(QString(126, QChar(0x20AC)))); // 378 bytes in the file system
}

// A program in Program Files (or /usr/bin) that may write there, as an administrator's may,
// still keeps its configurations in the user's data folder.
TEST_F(UfgFileTest, AProgramInASystemFolderUsesTheUserDataFolder)
{
    const QString program = dir.filePath(QStringLiteral("XLT"));
    ASSERT_TRUE(QDir().mkpath(program));
    const QByteArray saved = qgetenv("ProgramFiles");
    qputenv("ProgramFiles", dir.path().toLocal8Bit());
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(ensureConfigFolder(program), data + QStringLiteral("/PR01Cfg"));
    EXPECT_FALSE(QFileInfo::exists(program + QStringLiteral("/PR01Cfg")));
    qputenv("ProgramFiles", saved);
}

TEST_F(UfgFileTest, FailedSaveKeepsTheOldFileAndAnInstalledProgramUsesTheUserDataFolder)
{
    const QString old = path("ID003.ufg");
    ASSERT_TRUE(saveUfgFile(xlt::core::toPath(old), Pr01Texts::initial()));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!whileImmutable(dir.path(), [&] {
            EXPECT_FALSE(saveConfiguration(dir.path(), edited(), notifier)); // to ID003.ufg
            EXPECT_EQ(ensureConfigFolder(dir.path()), data + QStringLiteral("/PR01Cfg"));
        }))
        GTEST_SKIP() << "cannot make a folder unwritable (needs root and chattr +i)";
    EXPECT_EQ(fileBytes(old), ufgText(Pr01Texts::initial()));
    EXPECT_EQ(notifier.texts(), Texts{"Cannot save configuration file " + old.toStdString() +
                                      ": Operation not permitted"});
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("/PR01Cfg")).isDir());
}
