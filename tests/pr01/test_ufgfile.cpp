#include "core/FileIo.h"
#include "pr01/ConfigFolder.h"
#include "pr01/UfgFile.h"
#include "support/RecordingNotifier.h"

#include <QDir>
#include <QFile>
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

// Lines 8 to 39 are code, country, denomination and exponent of each row, in that order.
TEST_F(UfgFileTest, CurrencyLinesKeepTheColumnOrder)
{
    Pr01Texts texts = Pr01Texts::initial();
    std::string lines = "[CURRENCY ASSIG DATA]\r\n";
    for (std::size_t row = 0; row < kRowCount; ++row) {
        const std::string r = std::to_string(row);
        texts.code[row] = "A" + r;
        texts.country[row] = "C" + r;
        texts.denom[row] = "D" + r;
        texts.exp[row] = "E" + r;
        lines += "A" + r + "\r\nC" + r + "\r\nD" + r + "\r\nE" + r + "\r\n";
    }
    EXPECT_TRUE(ufgText(texts).ends_with(lines));
    Pr01Texts loaded = Pr01Texts::initial();
    EXPECT_TRUE(applyUfgText(lines, loaded));
    EXPECT_EQ(loaded.country, texts.country);
    EXPECT_EQ(loaded.denom, texts.denom);
    // In a whole file, row r's column c starts on line 8 + 4r + c.
    const UfgLines found = applyUfgSections(ufgText(texts), loaded).lines;
    EXPECT_EQ(found.currency[0][0], 8);
    EXPECT_EQ(found.currency[3][1], 21);
    EXPECT_EQ(found.currency[7][3], 39);
}

// A saved file is whole; the three sections may come in any order; anything less is no
// configuration and leaves the boxes alone.
TEST_F(UfgFileTest, OnlyAWholeConfigurationLoadsWhole)
{
    const std::string whole = ufgText(edited());
    const std::size_t boot = whole.find("[BOOT VERSION]");
    const std::size_t currency = whole.find("[CURRENCY ASSIG DATA]");
    std::string dpc(2200, '\0');
    dpc.replace(0, 3, "XLT");
    std::string noise;
    for (int i = 0; i < 3000; ++i)
        noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
    // Rows: content, loads.
    const std::pair<std::string, bool> rows[] = {
        {whole, true},
        {whole.substr(currency) + whole.substr(boot, currency - boot) + whole.substr(0, boot),
         true},
        {"", false},
        {dpc, false},
        {noise, false},
        {"[VERSION D", false},
        {"[VERSION DATA]", false},
        {whole.substr(0, currency), false},                      // no currency section
        {whole.substr(boot), false},                             // no version section
        {whole.substr(0, whole.size() - 4), false},              // cut in the last row
        {whole.substr(0, boot) + whole.substr(currency), false}, // no boot version
    };
    for (const auto &[content, loads] : rows) {
        QFile file(path("c.ufg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
        file.close();
        notifier.messages.clear();
        Pr01Texts boxes = Pr01Texts::initial();
        EXPECT_EQ(loadWholeConfigFileInto(xlt::core::toPath(file.fileName()), boxes, notifier),
                  loads)
            << content;
        EXPECT_EQ(boxes, loads ? edited() : Pr01Texts::initial()) << content;
        ASSERT_EQ(notifier.messages.size(), loads ? 0u : 1u) << content;
        if (!loads) {
            EXPECT_TRUE(notifier.messages[0].text.starts_with("Cannot open config file " +
                                                              file.fileName().toStdString()));
        }
    }
}

// Far larger than any configuration: refused without being read.
TEST_F(UfgFileTest, ReadsOnlyFilesOfConfigurationSize)
{
    QFile large(path("large.ufg"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(kMaxUfgBytes + 1));
    large.close();
    EXPECT_FALSE(readUfgFile(xlt::core::toPath(large.fileName())));
    ASSERT_TRUE(QFile::resize(large.fileName(), kMaxUfgBytes));
    EXPECT_TRUE(readUfgFile(xlt::core::toPath(large.fileName())));
}

// Configuration names in any script are listed as they are and load.
TEST_F(UfgFileTest, NamesOutsideLatin1AreListedAndLoad)
{
    const QString folder = ensureConfigFolder(dir.filePath(QString::fromUtf8("Programm \u20ac")));
    const QString euro = QString::fromUtf8("\u20acuro");
    ASSERT_TRUE(saveUfgFile(xlt::core::toPath(configFilePath(folder, euro)), edited()));
    EXPECT_EQ(listConfigNames(folder), QStringList{euro});
    Pr01Texts boxes = Pr01Texts::initial();
    EXPECT_TRUE(
        loadConfigFileInto(xlt::core::toPath(configFilePath(folder, euro)), boxes, notifier));
    EXPECT_EQ(boxes, edited());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{QString::fromUtf8("Programm \u20ac")});
}
