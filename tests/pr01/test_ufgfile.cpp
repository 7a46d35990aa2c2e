#include "Immutable.h"
#include "pr01/ConfigFolder.h"
#include "pr01/UfgFile.h"
#include "support/RecordingNotifier.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace xlt::pr01;
using xlt::test::RecordingNotifier;

namespace {

std::string fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void writeBytes(const QString &path, const std::string &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

Pr01Texts edited()
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003 V1.02 \xC4nderung"; // a Latin-1 byte above 127
    texts.bootVersion = "BOOT-7";
    texts.code[0] = "6";  // an edited one-digit text is kept as typed
    texts.country[2] = "2a";
    texts.denom[7] = "FF";
    texts.exp[4] = "02";
    return texts;
}

} // namespace

TEST(UfgText, InitialBoxesGiveTheThirtyNineLineFile)
{
    const std::string golden = fileBytes(QStringLiteral(XLT_TEST_DATA_DIR "/initial.ufg"));
    EXPECT_EQ(ufgText(Pr01Texts::initial()), golden);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ufg"));
    ASSERT_TRUE(saveUfgFile(path, Pr01Texts::initial()));
    EXPECT_EQ(fileBytes(path), golden);
}

TEST(UfgText, SavedFileLoadsBackIntoEveryBox)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ufg"));
    ASSERT_TRUE(saveUfgFile(path, edited()));
    Pr01Texts loaded = Pr01Texts::initial();
    RecordingNotifier notifier;
    EXPECT_TRUE(loadConfigFile(path, loaded, notifier));
    EXPECT_EQ(loaded, edited());
    EXPECT_TRUE(notifier.messages.empty());
}

TEST(FieldReader, DelimitedFields)
{
    const struct
    {
        const char *content;
        std::vector<std::string> fields;
    } rows[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a,b\r\n", {"a", "b"}},
        {"a,\r\n", {"a", ""}},
        {"\r\n\r\n", {"", ""}},
        {"  \tlead\r\n", {"lead"}},
        {"trail  \r\n", {"trail  "}},
        {"\"quoted, with comma\"\r\n", {"quoted, with comma"}},
        {"  \"q\" rest,next\r\n", {"q", "next"}},
        {"\"open quote\r\nnext", {"open quote", "next"}},
        {"unix\nline\n", {"unix", "line"}},
        {"mac\rline", {"mac", "line"}},
        {"no end", {"no end"}},
    };
    for (const auto &row : rows) {
        FieldReader reader(row.content);
        std::vector<std::string> fields;
        while (!reader.atEnd())
            fields.push_back(reader.next());
        EXPECT_EQ(fields, row.fields) << row.content;
    }
}

TEST(ApplyUfgText, SectionsAndValues)
{
    const Pr01Texts before = edited();
    const struct
    {
        const char *label;
        std::string content;
        void (*expect)(Pr01Texts &);
    } rows[] = {
        {"comma in version: rest of the line skipped",
         "[VERSION DATA]\r\nV1,5 extra\r\n\r\n",
         [](Pr01Texts &t) { t.version = "V1"; }},
        {"comma before a header: the header still counts",
         "[VERSION DATA]\r\nV2,[BOOT VERSION]\r\nB2\r\n",
         [](Pr01Texts &t) {
             t.version = "V2";
             t.bootVersion = "B2";
         }},
        {"boot version only", "[BOOT VERSION]\r\nB9\r\n",
         [](Pr01Texts &t) { t.bootVersion = "B9"; }},
        {"quoted values lose their quotes", "[VERSION DATA]\r\n\"a, b\"\r\n",
         [](Pr01Texts &t) { t.version = "a, b"; }},
        {"leading blanks dropped", "[BOOT VERSION]\r\n   B1\r\n",
         [](Pr01Texts &t) { t.bootVersion = "B1"; }},
        {"later section wins", "[BOOT VERSION]\r\nfirst\r\n[BOOT VERSION]\r\nsecond\r\n",
         [](Pr01Texts &t) { t.bootVersion = "second"; }},
        {"headers compare case-sensitively", "[version data]\r\nignored\r\n",
         [](Pr01Texts &) {}},
        {"an empty value after a header", "[VERSION DATA]\r\n\r\n",
         [](Pr01Texts &t) { t.version = ""; }},
    };
    for (const auto &row : rows) {
        Pr01Texts boxes = before;
        EXPECT_TRUE(applyUfgText(row.content, boxes)) << row.label;
        Pr01Texts expected = before;
        row.expect(expected);
        EXPECT_EQ(boxes, expected) << row.label;
    }
}

TEST(ApplyUfgText, SectionsInAnyOrder)
{
    const std::string saved = ufgText(edited());
    // The currency section first, then the two texts.
    const std::size_t currency = saved.find("[CURRENCY");
    const std::string reordered = saved.substr(currency) + saved.substr(0, currency);
    Pr01Texts boxes = Pr01Texts::initial();
    EXPECT_TRUE(applyUfgText(reordered, boxes));
    EXPECT_EQ(boxes, edited());
}

TEST(ApplyUfgText, EndingInsideASectionKeepsWhatWasRead)
{
    const Pr01Texts saved = edited();
    const std::string full = ufgText(saved);
    // Cut after the twentieth value of the currency section: rows 0 to 4 are complete.
    std::size_t cut = full.find("[CURRENCY ASSIG DATA]\r\n") + 23;
    for (int value = 0; value < 20; ++value)
        cut = full.find("\r\n", cut) + 2;
    Pr01Texts boxes = Pr01Texts::initial();
    EXPECT_FALSE(applyUfgText(full.substr(0, cut), boxes));
    EXPECT_EQ(boxes.version, saved.version);
    for (std::size_t row = 0; row < kRowCount; ++row) {
        const Pr01Texts &source = row < 5 ? saved : Pr01Texts::initial();
        EXPECT_EQ(boxes.code[row], source.code[row]) << row;
        EXPECT_EQ(boxes.country[row], source.country[row]) << row;
        EXPECT_EQ(boxes.denom[row], source.denom[row]) << row;
        EXPECT_EQ(boxes.exp[row], source.exp[row]) << row;
    }

    Pr01Texts lone = Pr01Texts::initial();
    EXPECT_FALSE(applyUfgText("[VERSION DATA]\r\n", lone));
    EXPECT_EQ(lone, Pr01Texts::initial());
}

TEST(LoadConfigFile, ShortOrMissingFileGivesTheMessage)
{
    QTemporaryDir dir;
    const QString shortPath = dir.filePath(QStringLiteral("short.ufg"));
    writeBytes(shortPath, "[BOOT VERSION]\r\nB1\r\n[VERSION DATA]\r\n");
    const QString missingPath = dir.filePath(QStringLiteral("missing.ufg"));
    for (const QString &path : {shortPath, missingPath}) {
        RecordingNotifier notifier;
        Pr01Texts boxes = Pr01Texts::initial();
        EXPECT_FALSE(loadConfigFile(path, boxes, notifier));
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(notifier.messages[0].icon, xlt::core::Icon::Exclamation);
        EXPECT_EQ(notifier.messages[0].text, "Cannot open config file " + path.toStdString());
        if (path == shortPath) {
            EXPECT_EQ(boxes.bootVersion, "B1");
        }
    }
}

TEST(UfgName, TakenFromTheVersionText)
{
    const struct
    {
        std::string version;
        std::string name;
    } rows[] = {
        {"ABCDEFGHIJKLMNO PQR", "ABCDEFGHIJKLMNO"}, // first space is the 16th character
        {"ABCDEFGHIJ", "ABCDEFG"},
        {"ABCD", "ABCD"},
        {"", ""},
        {" leading", ""},
        {"ID003 V2", "ID003"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ufgNameFromVersion(row.version), row.name) << row.version;
}

TEST(UfgName, OnlyNamesInsideTheFolderAreSafe)
{
    const struct
    {
        std::string name;
        bool safe;
    } rows[] = {
        {"ID003", true},      {"", true},          {".", true},
        {"V1..2", true},      {"caf\xE9", true},   {std::string(251, 'n'), true},
        {"..", false},        {"../x", false},     {"a/b", false},
        {"a\\b", false},      {"C:x", false},      {std::string("a\0b", 3), false},
        {"tab\there", false}, {std::string(252, 'n'), false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(isSafeUfgName(row.name), row.safe) << row.name;
}

TEST(SaveConfiguration, WritesNamedFileAndRefusesUnsafeNames)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("PR01Cfg"));
    ASSERT_TRUE(QDir().mkpath(folder));

    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003 V2";
    RecordingNotifier notifier;
    EXPECT_TRUE(saveConfiguration(folder, texts, notifier));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("/ID003.ufg")), ufgText(texts));

    const std::vector<std::string> unsafe = {"../evil", "..", "C:\\x", "a/b c",
                                             std::string(300, 'L') + " "};
    for (const std::string &version : unsafe) {
        texts.version = version;
        notifier.messages.clear();
        EXPECT_FALSE(saveConfiguration(folder, texts, notifier)) << version;
        ASSERT_EQ(notifier.messages.size(), 1u) << version;
        EXPECT_EQ(notifier.messages[0].text,
                  "Cannot save configuration file " + folder.toStdString() + "/"
                      + ufgNameFromVersion(version) + ".ufg");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("PR01Cfg")});
    EXPECT_EQ(listConfigNames(folder), std::vector<std::string>{"ID003"});
}

TEST(SaveConfiguration, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ID003.ufg"));
    writeBytes(path, "old contents\r\n");
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003";
    RecordingNotifier notifier;
    {
        xlt::test::ImmutableDir locked(dir.path());
        if (!locked.ok())
            GTEST_SKIP() << xlt::test::kNoImmutable;
        EXPECT_FALSE(saveConfiguration(dir.path(), texts, notifier));
    }
    EXPECT_EQ(fileBytes(path), "old contents\r\n");
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"Cannot save configuration file " + path.toStdString()});
    EXPECT_TRUE(saveConfiguration(dir.path(), texts, notifier));
    EXPECT_EQ(fileBytes(path), ufgText(texts));
}

TEST(ConfigFolder, ListsUfgFilesByName)
{
    QTemporaryDir dir;
    for (const char *name : {"b.ufg", "a.ufg", ".ufg", "c.UFG", "d.txt"})
        writeBytes(dir.filePath(QString::fromLatin1(name)), "");
    QDir(dir.path()).mkdir(QStringLiteral("e.ufg"));
    EXPECT_EQ(listConfigNames(dir.path()), (std::vector<std::string>{"", "a", "b"}));
    EXPECT_TRUE(listConfigNames(dir.filePath(QStringLiteral("none"))).empty());
}

TEST(ConfigFolder, BesideTheProgramOrInTheUserDataFolder)
{
    QTemporaryDir dir;
    EXPECT_EQ(ensureConfigFolder(dir.path()), dir.filePath(QStringLiteral("PR01Cfg")));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("PR01Cfg"))).isDir());

    QTemporaryDir installed;
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/PR01Cfg";
    xlt::test::ImmutableDir locked(installed.path());
    if (!locked.ok())
        GTEST_SKIP() << xlt::test::kNoImmutable;
    EXPECT_EQ(ensureConfigFolder(installed.path()), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_FALSE(QFileInfo::exists(installed.filePath(QStringLiteral("PR01Cfg"))));
}
