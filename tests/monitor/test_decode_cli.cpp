// xltctl decode and xltctl monitor as programs; the monitor against the emulator on a pty.
#include "MonitorTest.h"
#include "Version.h"
#include "monitor/CaptureFile.h"
#include "support/XltctlRig.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

using namespace xlt::montest;
using xlt::test::Args;
using xlt::test::Outcome;

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
    const xlt::test::XltctlRig rig;
    // Rows: arguments, exit code, stdout, a part of stderr (empty: nothing on stderr).
    const std::tuple<Args, int, std::string, std::string> rows[] = {
        {{"decode", "--frame", "35", "7F", "80", "03", "02", "FF", "FF"},
         0,
         "CMD: SET INHIBITS Data: FF,FF\n",
         ""},
        {{"decode", "--frame", "ca", "FC0599 0000"}, 0, "XLT RSP: UNKNOWN RESPONSE \n", ""},
        {{"decode", "--frame", "36", "7F 80 01 07"}, 2, "", "is none of 35, 55, AA and CA"},
        {{"decode", "--frame", "35", "7F 8G"}, 2, "", "xltctl decode: frame: "},
        {{"decode", "--replies", "--log-dir", "/nonexistent"}, 2, "", "does not exist"},
        // A device that never ends is no file of replies.
        {{"decode", "--replies", "/dev/zero"}, 2, "", "'/dev/zero': not a regular file\n"},
    };
    for (const auto &[args, code, out, err] : rows) {
        const Outcome outcome = rig.run(args);
        EXPECT_EQ(std::tuple(outcome.code, outcome.out, outcome.err.empty()),
                  std::tuple(code, out, err.empty()))
            << xlt::test::joined(args);
        EXPECT_NE(outcome.err.find(err), std::string::npos) << outcome.err;
    }
}

// Replies list like one run; blank, comment and bad lines are skipped, bad ones named (exit 2).
TEST(DecodeCli, RepliesListLikeOneRunAndLogWhatTheyPrint)
{
    const xlt::test::XltctlRig rig;
    QTemporaryDir dir;
    const auto [code, out, err] =
        rig.run({"decode", "--replies", "--log-dir", dir.path().toStdString()},
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

// xltctl monitor through the real serial link: what it prints is what it logs, and it polls 50 ms
// after each reply, so that a second holds far more than the two or three replies of a 500 ms
// pause (--raw keeps one line per reply).
TEST(MonitorCli, RunsAgainstTheEmulatorAndLogsWhatItPrints)
{
    xlt::test::XltctlRig rig;
    QTemporaryDir logDir;
    const std::string raw = rig.path("raw.txt");
    const Args args{"monitor", "--seconds", "1", "--log-dir", logDir.path().toStdString(),
                    "--raw",   raw};
    const Outcome none = rig.run(args);
    EXPECT_EQ(std::tie(none.code, none.out, none.err),
              std::make_tuple(3, std::string(), std::string("xltctl: No XLT device detected\n")));

    xlt::sim::DeviceOptions flood;
    flood.traffic = xlt::sim::TrafficLevel::Flood;
    ASSERT_NO_FATAL_FAILURE(rig.serve(flood));
    const auto [code, out, err] = rig.run(args);
    ASSERT_EQ(code, 0) << err;
    EXPECT_GT(printed(out, "xlt|").size(), 50u);
    EXPECT_TRUE(out.ends_with("\nlabel|target|SSP\nlabel|host|PR01\n"));
    expectLoggedAsPrinted(logDir.path(), out);
    // --raw FILE is the run's capture file: its header, then the replies, which decode lists
    // again as the run listed them.
    const auto capture = xlt::monitor::readCaptureFile(raw).capture;
    ASSERT_TRUE(capture);
    const xlt::monitor::CaptureHeader &h = capture->header;
    EXPECT_EQ(std::tie(h.portName, h.identity->interfaceCode, h.identity->firmware,
                       h.identity->modNumber, h.program),
              std::tie("COM129", "PR01", "0123", "0001", xlt::app::kVersionText));
    EXPECT_TRUE(h.deviceNode.starts_with("/dev/pts/")) << h.deviceNode;
    EXPECT_GT(capture->count(), 5u);
    EXPECT_EQ(rig.run({"decode", "--replies", raw}).out, out);

    // --json: one object per record, packet numbers per side from 0; without --raw the capture
    // file lies beside the logs.
    QTemporaryDir jsonDir;
    const Outcome json =
        rig.run({"monitor", "--seconds", "1", "--log-dir", jsonDir.path().toStdString(), "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    std::map<QString, double> nextPacket{{"target", 0}, {"host", 0}};
    int replies = 0; // records that answer a request, with their time
    const QList<QByteArray> objects = QByteArray::fromStdString(json.out).trimmed().split('\n');
    EXPECT_GT(objects.size(), 50);
    for (const QByteArray &line : objects) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(o.keys(), (QStringList{"crc", "direction", "hex", "offset", "packet", "reply",
                                         "run", "side", "text"}))
            << line.toStdString();
        EXPECT_EQ(o["packet"].toDouble(), nextPacket[o["side"].toString()]++);
        EXPECT_EQ(o["crc"], "good");
        EXPECT_TRUE(o["hex"].toString().startsWith(o["side"] == "target" ? "7F " : "FC "));
        EXPECT_FALSE(o["text"].toString().isEmpty());
        replies += o["reply"].isDouble() ? 1 : 0;
        EXPECT_TRUE(o["run"].toString().startsWith(QDate::currentDate().toString(Qt::ISODate)));
    }
    EXPECT_GT(replies, 20);
    EXPECT_EQ(QDir(jsonDir.path()).entryList({"*.xltcap"}).size(), 1);
}

} // namespace
