// xltctl's readers and writers against names that another user planted in a shared sticky
// folder (links to your files, pipes at the next run's log names) and names that are not UTF-8.
// The user is nobody where this runs as root; no case may hang.
#include "core/FileIo.h"
#include "monitor/TrafficLog.h"
#include "pr01/UfgFile.h"
#include "support/XltctlRig.h"

#include <QDateTime>
#include <functional>
#include <sys/stat.h>

using namespace xlt;
namespace fs = std::filesystem;

namespace {

// A poll and its answer on the target side, a status request on the host side.
const std::string kCapture = "35 FA000000 06 7F8001071202\n"
                             "55 09010000 06 7F 80 01 F0 23 80\n";

bool writeBytes(const fs::path &path, const std::string &bytes)
{
    return core::writeFileAtomically(path, QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string bytesOf(const fs::path &path)
{
    return core::readRegularFile(path, 1 << 20).bytes.value_or("<unreadable>").toStdString();
}

bool isFifo(const fs::path &path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

class PlantedFiles : public test::XltctlTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(XltctlTest::SetUp());
        asNobody = test::canRunAsNobody();
        limit = std::chrono::seconds(20);
        // The shared folder: anyone writes, only owners remove (sticky), as /tmp is.
        ASSERT_EQ(::chmod(root.c_str(), 0755), 0);
        ASSERT_TRUE(fs::create_directory(shared));
        ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
        // The victim's own folder and file.
        ASSERT_TRUE(fs::create_directory(mine));
        ASSERT_TRUE(writeBytes(victim, "mine"));
        ASSERT_TRUE(writeBytes(capture, kCapture));
        if (asNobody) {
            for (const fs::path &path : {mine, victim, capture})
                ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
    }

    /// Plants `plant` at both log names of every second from now on for `seconds`.
    void plantLogNames(const std::function<void(const fs::path &)> &plant, int seconds = 6)
    {
        const QDateTime now = QDateTime::currentDateTime();
        for (int s = 0; s < seconds; ++s) {
            const monitor::TrafficLog log(shared, monitor::TrafficLog::baseName(now.addSecs(s)));
            plant(log.targetPath());
            plant(log.hostPath());
        }
    }

    const fs::path root = core::toPath(dir.path());
    const fs::path shared = root / "shared";
    const fs::path mine = root / "mine";
    const fs::path victim = mine / "victim";
    const fs::path capture = mine / "capture";
};

// Links at the log names, and at a save target, never write into the file they point to.
TEST_F(PlantedFiles, LinksToYourFilesAreRefused)
{
    plantLogNames(
        [this](const fs::path &path) { ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0); });
    EXPECT_EQ(run({"decode", "--replies", "--log-dir", shared.native(), capture.native()}).code, 1);
    EXPECT_EQ(bytesOf(victim), "mine");

    // The device's configuration saved onto a link (by this user, who may reach the device):
    // refused by name, the linked file kept.
    asNobody = false;
    const fs::path link = shared / "shared.ufg";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    const test::Outcome read = run({"config", "read", "--ufg", link.native()});
    EXPECT_EQ(read.code, 1) << read.err;
    EXPECT_NE(read.err.find("it is a symbolic link"), std::string::npos) << read.err;
    EXPECT_EQ(bytesOf(victim), "mine");

    // A name that is not UTF-8 is written under its own bytes, and read back by them.
    const fs::path odd = shared / "n\377ame.ufg";
    const test::Outcome saved = run({"config", "read", "--ufg", odd.native()});
    EXPECT_EQ(saved.code, 0) << saved.err;
    pr01::Pr01Texts texts;
    EXPECT_TRUE(pr01::applyUfgSections(bytesOf(odd), texts).whole());
}

// Readers take names that are not UTF-8 and refuse pipes and devices at once.
TEST_F(PlantedFiles, ReadersKeepNameBytesAndRefusePipes)
{
    const fs::path odd = mine / "n\377ame.ufg";
    ASSERT_TRUE(writeBytes(odd, pr01::ufgText(pr01::Pr01Texts::initial())));
    const fs::path oddFolder = mine / "logs\xff";
    ASSERT_TRUE(fs::create_directory(oddFolder));
    const fs::path pipe = shared / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    if (asNobody) {
        for (const fs::path &path : {odd, oddFolder})
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    // Rows: arguments, exit code, words on stderr.
    const std::tuple<test::Args, int, std::string> rows[] = {
        {{"config", "diff", odd.native(), odd.native()}, 0, ""},
        {{"decode", "--replies", odd.native()}, 2, "line 1:"}, // read, and it is no capture
        {{"decode", "--replies", "--log-dir", oddFolder.native(), capture.native()}, 0, ""},
        {{"config", "diff", pipe.native(), odd.native()}, 2, "not a regular file"},
        {{"decode", "--replies", pipe.native()}, 2, "not a regular file"},
        {{"update", "--yes", pipe.native()}, 2, "not a regular file"},
        {{"config", "diff", (mine / "missing\xff").native()}, 2, "missing\\xFF"},
    };
    for (const auto &[args, code, words] : rows) {
        SCOPED_TRACE(test::joined(args));
        const test::Outcome outcome = run(args);
        EXPECT_EQ(outcome.code, code) << outcome.err;
        EXPECT_NE(outcome.err.find(words), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(fs::directory_iterator(oddFolder) == fs::directory_iterator(), false);
    EXPECT_TRUE(isFifo(pipe));
}

} // namespace
