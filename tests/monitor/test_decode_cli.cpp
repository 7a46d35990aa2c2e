// xltctl decode, run as a program: single frames, whole runs of replies, log files, bad input.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Result
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

Result xltctl(const QStringList &args, const std::string &input = {})
{
    QProcess process;
    process.start(QStringLiteral(XLT_BINARY_DIR "/cli/xltctl"), QStringList{"decode"} + args);
    if (!process.waitForStarted())
        return {};
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    process.waitForFinished(30000);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            out.toStdString(), err.toStdString()};
}

const std::string kRule = " ---------------------------------------------------------------";

TEST(DecodeCli, FramePrintsTheDecodedLine)
{
    const struct
    {
        QStringList args;
        std::string line;
    } cases[] = {
        {{"35", "7F 80 01 07 12 02"}, "CMD: POLL "},
        {{"35", "7F", "80", "03", "02", "FF", "FF"}, "CMD: SET INHIBITS Data: FF,FF"},
        {{"55", "7f8004f0e8e20155aa"}, "GENERIC RSP: OK Events/Data: DISABLED NOTE CLEARED CASHBOX 1 "},
        {{"AA", "FC 06 C3 00 04 D6"}, "HOST CMD: SET INHIBIT  Data: 0"},
        {{"ca", "FC0599 0000"}, "XLT RSP: UNKNOWN RESPONSE "},
        {{"AA", "7F 80 01 07 12 02"}, ""}, // an SSP frame with a host tag decodes to nothing
        {{"35", "00 7F"}, ""},             // neither protocol
        {{"55", ""}, ""},                  // an empty frame
    };
    for (const auto &c : cases) {
        const Result result = xltctl(QStringList{"--frame"} + c.args);
        EXPECT_EQ(result.exitCode, 0) << c.args.join(' ').toStdString();
        EXPECT_EQ(result.out, c.line + "\n") << c.args.join(' ').toStdString();
        EXPECT_EQ(result.err, "");
    }
}

TEST(DecodeCli, BadArgumentsExitWithTwoAndPrintNothing)
{
    const QStringList cases[] = {
        {"--frame", "36", "7F 80 01 07"},      // not a record tag
        {"--frame", "355", "7F"},              // tag of more than one byte
        {"--frame", "35", "7F 8G"},            // not hexadecimal
        {"--frame", "35", "7F 8 01"},          // an odd number of digits
        {"--frame", "35", QString(512, 'A')},  // 256 bytes
        {"--frame", "35"},                     // no frame
        {"--replies", "a", "b"},
        {"--replies", "--log-dir"},
        {"--replies", "--log-dir", "/nonexistent/xlt-logs"},
        {"--replies", "/nonexistent/replies.txt"},
        {"--bogus"},
        {},
    };
    for (const QStringList &args : cases) {
        const Result result = xltctl(args);
        EXPECT_EQ(result.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(result.out, "") << args.join(' ').toStdString();
        EXPECT_NE(result.err, "") << args.join(' ').toStdString();
    }
}

const std::string kReplies = "# a poll and its answer, then a host status request\n"
                             "\n"
                             "35 FA000000 06 7F8001071202\r\n"
                             "   \n"
                             "55 09010000 06 7F 80 01 F0 23 80  00 AA 01 00 00 00 05 FC05112756\n"
                             "35 00000080 00\n";

const std::string kListed = "tgt|Packet #0" + kRule + "\n"
                            "tgt|Packet time offset: 250ms\n"
                            "tgt|XLT TX  7F 80 01 07 12 02 \n"
                            "tgt|CMD: POLL \n"
                            "tgt| \n"
                            "tgt|Packet #1" + kRule + "\n"
                            "tgt|Packet time offset: 265ms\n"
                            "tgt|XLT RX  7F 80 01 F0 23 80 \n"
                            "tgt|GENERIC RSP: OK\n"
                            "tgt| \n"
                            "xlt|Packet #0" + kRule + "\n"
                            "xlt|Packet time offset: 1ms\n"
                            "xlt|XLT TX    FC 05 11 27 56 \n"
                            "xlt|HOST CMD: STATUS REQUEST  \n"
                            "xlt| \n"
                            "tgt|Packet #2" + kRule + "\n"
                            "tgt|Packet time offset: 2147483648ms\n"
                            "tgt|XLT TX  \n"
                            "tgt|\n"
                            "tgt| \n";

TEST(DecodeCli, RepliesFromStandardInputListLikeOneRun)
{
    const Result result = xltctl({"--replies"}, kReplies);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kListed + "label|target|SSP\nlabel|host|PR01\n");
    EXPECT_EQ(result.err, "");

    const Result none = xltctl({"--replies", "-"}, "# nothing\n01 02 03\n");
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "label|target|\nlabel|host|\n");
}

TEST(DecodeCli, BadReplyLinesAreNamedAndSkipped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("replies.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string text = "35 FA000000 06 7F8001071202\n"
                             "55 0A000000 06 7F8001F02380 ZZ\n"
                             "\n"
                             "55 0A 00 00 00 06 7F 80 01 F0 23 8\n"
                             "AA 01000000 05 FC05112756\n"
                             + std::string(512, '0') + "\n"; // 256 bytes: more than a reply holds
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();

    const Result result = xltctl({"--replies", path});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("line 2:"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("'ZZ'"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("line 4:"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("line 6:"), std::string::npos) << result.err;
    // The good lines are listed, numbered as if the bad ones were not there.
    EXPECT_EQ(result.out, "tgt|Packet #0" + kRule + "\ntgt|Packet time offset: 250ms\n"
                          "tgt|XLT TX  7F 80 01 07 12 02 \ntgt|CMD: POLL \ntgt| \n"
                          "xlt|Packet #0" + kRule + "\nxlt|Packet time offset: 1ms\n"
                          "xlt|XLT TX    FC 05 11 27 56 \nxlt|HOST CMD: STATUS REQUEST  \nxlt| \n"
                          "label|target|SSP\nlabel|host|PR01\n");
}

std::string fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

// The log files hold exactly the listed lines of their side, with CRLF line ends.
TEST(DecodeCli, LogDirGetsTheRunsTwoFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Result result = xltctl({"--replies", "--log-dir", dir.path()}, kReplies);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 2) << files.join(',').toStdString();
    const QRegularExpression name(QStringLiteral(R"(^XLT_log_ \d\d \d\d \d{4} \d\d \d\d \d\d\.(tgt|xlt)$)"));
    for (const QString &fileName : files)
        EXPECT_TRUE(name.match(fileName).hasMatch()) << fileName.toStdString();

    std::string tgt;
    std::string xlt;
    std::size_t start = 0;
    while (start < result.out.size()) {
        const std::size_t end = result.out.find('\n', start);
        const std::string line = result.out.substr(start, end - start);
        if (line.rfind("tgt|", 0) == 0)
            tgt += line.substr(4) + "\r\n";
        else if (line.rfind("xlt|", 0) == 0)
            xlt += line.substr(4) + "\r\n";
        start = end + 1;
    }
    EXPECT_EQ(fileText(dir.filePath(files[0].chopped(4) + ".tgt")), tgt);
    EXPECT_EQ(fileText(dir.filePath(files[0].chopped(4) + ".xlt")), xlt);
}

} // namespace
