// xltctl decode and xltctl monitor as programs; the monitor against the emulator on a pty.
#include "MonitorTest.h"
#include "sim/DeviceModel.h"
#include "sim/PtyServer.h"
#include "support/XltctlRig.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

using namespace xlt::montest;

/// Exit code, stdout, stderr of xltctl run in `rig` (its emulator registry and settings).
std::tuple<int, std::string, std::string>
xltctl(const QStringList &args, const std::string &input = {}, const xlt::test::XltctlRig &rig = {})
{
    xlt::test::Args words;
    for (const QString &arg : args)
        words.push_back(arg.toStdString());
    const xlt::test::Outcome outcome = rig.run(words, input);
    return {outcome.code, outcome.out, outcome.err};
}

/// The printed lines of one side ("tgt|" or "xlt|"), without the prefix.
Lines printed(const std::string &out, const std::string &prefix)
{
    Lines lines;
    for (std::size_t start = 0, end = 0; start < out.size(); start = end + 1) {
        end = out.find('\n', start);
        if (out.compare(start, prefix.size(), prefix) == 0)
            lines.push_back(out.substr(start + prefix.size(), end - start - prefix.size()));
    }
    return lines;
}

/// The run's two log files in `dir` hold exactly the printed lines of their side.
void expectLoggedAsPrinted(const QString &dir, const std::string &out)
{
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files[0].startsWith("XLT_log_ ") && files[0].endsWith(".tgt"));
    EXPECT_EQ(files[1], files[0].chopped(3) + "xlt");
    EXPECT_EQ(logLines(QDir(dir).filePath(files[0]).toStdString()), printed(out, "tgt|"));
    EXPECT_EQ(logLines(QDir(dir).filePath(files[1]).toStdString()), printed(out, "xlt|"));
}

// Exit code 2 prints nothing on stdout and a reason on stderr.
TEST(DecodeCli, FrameAndBadArguments)
{
    const std::tuple<QStringList, int, std::string> cases[] = {
        {{"35", "7F", "80", "03", "02", "FF", "FF"}, 0, "CMD: SET INHIBITS Data: FF,FF\n"},
        {{"ca", "FC0599 0000"}, 0, "XLT RSP: UNKNOWN RESPONSE \n"},
        {{"36", "7F 80 01 07"}, 2, ""}, // not a record tag
        {{"35", "7F 8G"}, 2, ""},
        {{"35", "7F 8 01"}, 2, ""},
        {{"35", QString(512, 'A')}, 2, ""}, // 256 bytes
    };
    for (const auto &[args, exitCode, out] : cases) {
        const auto [code, stdOut, stdErr] = xltctl(QStringList{"decode", "--frame"} + args);
        EXPECT_EQ(std::tuple(code, stdOut, stdErr.empty()),
                  std::tuple(exitCode, out, exitCode == 0))
            << args.join(' ').toStdString();
    }
    EXPECT_EQ(std::get<0>(xltctl({"decode", "--replies", "--log-dir", "/nonexistent"})), 2);
    // A device that never ends is no file of replies.
    EXPECT_EQ(xltctl({"decode", "--replies", "/dev/zero"}),
              std::make_tuple(2, std::string(),
                              std::string("xltctl decode: cannot read '/dev/zero': not a "
                                          "regular file\n")));
}

// Replies list like one run; blank, comment and bad lines are skipped, bad ones named (exit 2).
TEST(DecodeCli, RepliesListLikeOneRunAndLogWhatTheyPrint)
{
    QTemporaryDir dir;
    const auto [code, out, err] =
        xltctl({"decode", "--replies", "--log-dir", dir.path()},
               "# a poll and its answer, then a host status request\n\n"
               "35 FA000000 06 7F8001071202\r\n   \n"
               "55 0A000000 06 7F8001F02380 ZZ\n"
               "55 09010000 06 7F 80 01 F0 23 80  00 AA 01 00 00 00 05 FC05112756\n"
               "55 0A 00 00 00 06 7F 80 01 F0 23 8\n" +
                   std::string(512, '0') + "\n");
    EXPECT_EQ(code, 2);
    for (const char *named : {"line 5:", "'ZZ'", "line 7:", "line 8:"})
        EXPECT_NE(err.find(named), std::string::npos) << named << " in " << err;
    const Lines tgt = printed(out, "tgt|");
    ASSERT_EQ(tgt.size(), 10u);
    EXPECT_EQ(tgt[1] + "|" + tgt[2] + "|" + tgt[3] + "|" + tgt[5] + "|" + tgt[8],
              "Packet time offset: 250ms|XLT TX  7F 80 01 07 12 02 |CMD: POLL |Packet #1" + kRule +
                  "|GENERIC RSP: OK");
    EXPECT_EQ(printed(out, "xlt|")[3], "HOST CMD: STATUS REQUEST  ");
    EXPECT_TRUE(out.ends_with("\nlabel|target|SSP\nlabel|host|PR01\n"));
    expectLoggedAsPrinted(dir.path(), out);
}

// xltctl monitor through the real serial link: what it prints is what it logs.
TEST(MonitorCli, RunsAgainstTheEmulatorAndLogsWhatItPrints)
{
    xlt::test::XltctlRig rig;
    QTemporaryDir logDir;
    const QStringList args{"monitor", "--seconds", "1", "--log-dir", logDir.path()};
    EXPECT_EQ(xltctl(args, {}, rig),
              std::make_tuple(3, std::string(), std::string("xltctl: No XLT device detected\n")));

    xlt::sim::DeviceOptions flood;
    flood.traffic = xlt::sim::TrafficLevel::Flood;
    ASSERT_NO_FATAL_FAILURE(rig.serve(flood));
    const auto [code, out, err] = xltctl(args, {}, rig);
    ASSERT_EQ(code, 0) << err;
    EXPECT_GT(printed(out, "xlt|").size(), 50u);
    EXPECT_TRUE(out.ends_with("\nlabel|target|SSP\nlabel|host|PR01\n"));
    expectLoggedAsPrinted(logDir.path(), out);
}

} // namespace
