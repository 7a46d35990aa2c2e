// The default log directory: the program's directory where it can be written, otherwise
// "XLT logs" in the user's documents folder.
#include "session/LogFolder.h"
#include "session/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>

using namespace xlt::session;

namespace {

/// Makes `dir` unwritable for this process: the immutable flag as root (root ignores mode
/// bits), mode 0555 otherwise. Undone on destruction. ok() is false when neither works here.
class ReadOnlyDir
{
public:
    explicit ReadOnlyDir(const QString &dir)
        : m_dir(dir)
    {
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir}) == 0)
            m_immutable = true;
        else
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~ReadOnlyDir()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_dir});
        QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return !QFileInfo(m_dir).isWritable(); }

private:
    QString m_dir;
    bool m_immutable = false;
};

struct Folders
{
    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("bin"));
    QString documents = root.filePath(QStringLiteral("home/Documents"));
    QString userLogs = documents + QStringLiteral("/XLT logs");
    Folders() { QDir().mkpath(program); }
};

TEST(LogFolder, ProgramDirectoryWhenWritableElseTheDocumentsFolder)
{
    enum class Program { Writable, ReadOnly, Missing, System };
    enum class Expect { Program, UserLogs };
    // Rows: name, the program directory, whether a file stands where the documents folder would
    // be made, the folder chosen.
    const std::tuple<const char *, Program, bool, Expect> rows[] = {
        {"writable program directory", Program::Writable, false, Expect::Program},
        {"read-only program directory", Program::ReadOnly, false, Expect::UserLogs},
        {"missing program directory", Program::Missing, false, Expect::UserLogs},
        {"installed in /usr/bin (root may write there)", Program::System, false, Expect::UserLogs},
        {"neither can be used", Program::Missing, true, Expect::Program},
    };
    for (const auto &[name, kind, documentsBlocked, expect] : rows) {
        SCOPED_TRACE(name);
        Folders f;
        if (kind == Program::Missing) {
            ASSERT_TRUE(QDir(f.program).removeRecursively());
        }
        if (documentsBlocked) {
            QDir().mkpath(f.root.filePath(QStringLiteral("home")));
            QFile blocker(f.documents);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        std::optional<ReadOnlyDir> readOnly;
        if (kind == Program::ReadOnly) {
            readOnly.emplace(f.program);
            if (!readOnly->ok()) {
                std::cout << "[  SKIPPED ] cannot make a read-only folder here\n";
                continue;
            }
        }
        const QString program = kind == Program::System ? QStringLiteral("/usr/bin") : f.program;
        const QString chosen = chooseLogFolder(program, f.documents);
        EXPECT_EQ(chosen, expect == Expect::Program ? program : f.userLogs);
        // The documents folder is made only when it is the choice.
        EXPECT_EQ(QFileInfo(f.userLogs).isDir(), expect == Expect::UserLogs);
    }
}

TEST(LogFolder, ShownUnderTheHomeFolderAsTilde)
{
    const std::tuple<const char *, const char *, const char *> rows[] = {
        {"/home/ann/Documents/XLT logs", "/home/ann", "~/Documents/XLT logs"},
        {"/home/ann/", "/home/ann", "~"},
        {"/home/ann2/logs", "/home/ann", "/home/ann2/logs"},
        {"/var/log/xlt", "/", "/var/log/xlt"},
        {"/opt/xlt", "", "/opt/xlt"}};
    for (const auto &[path, home, shown] : rows)
        EXPECT_EQ(shownFolder(QString::fromUtf8(path), QString::fromUtf8(home)), shown) << path;
}

} // namespace
