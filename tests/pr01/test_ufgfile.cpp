#include "Immutable.h"
#include "pr01/ConfigFolder.h"
#include "pr01/UfgFile.h"
#include "support/RecordingNotifier.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace xlt::pr01;
using xlt::test::RecordingNotifier;

namespace {

std::string fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

Pr01Texts edited()
{
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003 V1.02 \xC4nderung";
    texts.bootVersion = "BOOT-7";
    texts.code[0] = "6"; // an edited one-digit text is kept as typed
    texts.country[2] = "2a";
    texts.exp[7] = "FF";
    return texts;
}

} // namespace

TEST(UfgFile, InitialBoxesGiveTheGoldenFileAndEditedOnesRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ufg"));
    ASSERT_TRUE(saveUfgFile(path, Pr01Texts::initial()));
    EXPECT_EQ(fileBytes(path), fileBytes(QStringLiteral(XLT_TEST_DATA_DIR "/initial.ufg")));

    ASSERT_TRUE(saveUfgFile(path, edited()));
    Pr01Texts loaded = Pr01Texts::initial();
    RecordingNotifier notifier;
    EXPECT_TRUE(loadConfigFile(path, loaded, notifier));
    EXPECT_EQ(loaded, edited());
    EXPECT_TRUE(notifier.messages.empty());
}

TEST(UfgFile, DelimitedFields)
{
    const std::pair<const char *, std::vector<std::string>> rows[] = {
        {"a,b\r\n\r\nc", {"a", "b", "", "c"}},
        {"  \tlead,trail  \r\n", {"lead", "trail  "}},
        {"\"quoted, comma\" rest,next\n", {"quoted, comma", "next"}},
        {"\"open quote\rnext", {"open quote", "next"}},
    };
    for (const auto &[content, fields] : rows) {
        FieldReader reader(content);
        std::vector<std::string> read;
        while (!reader.atEnd())
            read.push_back(reader.next());
        EXPECT_EQ(read, fields) << content;
    }
}

TEST(UfgFile, SectionsAndValues)
{
    const std::string saved = ufgText(edited());
    const std::size_t currency = saved.find("[CURRENCY");
    const std::tuple<const char *, std::string, void (*)(Pr01Texts &)> rows[] = {
        {"comma in a value", "[VERSION DATA]\r\nV1,5 more\r\n", [](Pr01Texts &t) { t.version = "V1"; }},
        {"header after a comma", "[VERSION DATA]\r\nV2,[BOOT VERSION]\r\nB2\r\n",
         [](Pr01Texts &t) {
             t.version = "V2";
             t.bootVersion = "B2";
         }},
        {"quotes removed", "[BOOT VERSION]\r\n  \"a, b\"\r\n", [](Pr01Texts &t) { t.bootVersion = "a, b"; }},
        {"later section wins", "[BOOT VERSION]\r\n1\r\n[BOOT VERSION]\r\n2\r\n",
         [](Pr01Texts &t) { t.bootVersion = "2"; }},
        {"case-sensitive headers", "[version data]\r\nx\r\n", [](Pr01Texts &) {}},
        {"any order", saved.substr(currency) + saved.substr(0, currency),
         [](Pr01Texts &t) { t = edited(); }},
    };
    for (const auto &[label, content, change] : rows) {
        Pr01Texts boxes = Pr01Texts::initial();
        Pr01Texts expected = boxes;
        change(expected);
        EXPECT_TRUE(applyUfgText(content, boxes)) << label;
        EXPECT_EQ(boxes, expected) << label;
    }
}

TEST(UfgFile, ShortFileKeepsWhatWasReadAndComplains)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.ufg"));
    const std::string full = ufgText(edited());
    std::size_t cut = 0;
    for (int line = 0; line < 7 + 20; ++line) // headers, then 20 currency values: rows 0 to 4
        cut = full.find("\r\n", cut) + 2;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(full.substr(0, cut).c_str());
    file.close();

    Pr01Texts boxes = Pr01Texts::initial();
    RecordingNotifier notifier;
    EXPECT_FALSE(loadConfigFile(path, boxes, notifier));
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"Cannot open config file " + path.toStdString()});
    EXPECT_EQ(boxes.version, edited().version);
    EXPECT_EQ(boxes.code[0], "6");
    EXPECT_EQ(boxes.exp[4], "00");
    EXPECT_EQ(boxes.exp[7], "00"); // row 7 was never reached
}

TEST(UfgFile, NameFromTheVersionText)
{
    const std::pair<std::string, std::string> rows[] = {
        {"ABCDEFGHIJKLMNO PQR", "ABCDEFGHIJKLMNO"}, {"ABCDEFGHIJ", "ABCDEFG"},
        {"ABCD", "ABCD"}, {"", ""}, {" lead", ""},
    };
    for (const auto &[version, name] : rows)
        EXPECT_EQ(ufgNameFromVersion(version), name) << version;

    const std::pair<std::string, bool> names[] = {
        {"ID003", true}, {"", true}, {"V1..2", true}, {std::string(251, 'n'), true},
        {"..", false}, {"a/b", false}, {"a\\b", false}, {"C:x", false},
        {std::string("a\0b", 3), false}, {std::string(252, 'n'), false},
    };
    for (const auto &[name, safe] : names)
        EXPECT_EQ(isSafeUfgName(name), safe) << name;
}

TEST(UfgFile, SaveRefusesNamesOutsideTheFolder)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("PR01Cfg"));
    ASSERT_TRUE(QDir().mkpath(folder));
    RecordingNotifier notifier;
    Pr01Texts texts = Pr01Texts::initial();
    for (const std::string version : {"../evil", "..", "C:\\x", "a/b c"}) {
        texts.version = version;
        EXPECT_FALSE(saveConfiguration(folder, texts, notifier)) << version;
        EXPECT_EQ(notifier.texts().back(), "Cannot save configuration file " + folder.toStdString()
                                               + "/" + ufgNameFromVersion(version) + ".ufg");
    }
    const auto everything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
    EXPECT_EQ(QDir(dir.path()).entryList(everything), QStringList{QStringLiteral("PR01Cfg")});
    EXPECT_TRUE(QDir(folder).entryList(everything).isEmpty());
}

TEST(UfgFile, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ID003.ufg"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old\r\n");
    old.close();
    Pr01Texts texts = Pr01Texts::initial();
    texts.version = "ID003";
    RecordingNotifier notifier;
    {
        xlt::test::ImmutableDir locked(dir.path());
        if (!locked.ok())
            GTEST_SKIP() << xlt::test::kNoImmutable;
        EXPECT_FALSE(saveConfiguration(dir.path(), texts, notifier));
    }
    EXPECT_EQ(fileBytes(path), "old\r\n");
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"Cannot save configuration file " + path.toStdString()});
}

TEST(ConfigFolder, BesideTheProgramOrElseInTheUserDataFolder)
{
    QTemporaryDir program;
    EXPECT_EQ(ensureConfigFolder(program.path()), program.filePath(QStringLiteral("PR01Cfg")));
    EXPECT_TRUE(QFileInfo(program.filePath(QStringLiteral("PR01Cfg"))).isDir());

    QTemporaryDir installed;
    xlt::test::ImmutableDir locked(installed.path());
    if (!locked.ok())
        GTEST_SKIP() << xlt::test::kNoImmutable;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(ensureConfigFolder(installed.path()), data + QStringLiteral("/PR01Cfg"));
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("/PR01Cfg")).isDir());
}
