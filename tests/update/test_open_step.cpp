#include "UpdateFixture.h"
#include "update/OpenStep.h"

#include <QTemporaryDir>
#include <fstream>

using namespace xlt;
using Kind = update::OpenStepResult::Kind;

namespace {

class RecordingPanel final : public update::Panel
{
public:
    void clear() override
    {
        lines.clear();
        ++clears;
    }
    void print(const std::string &line) override { lines.push_back(line); }
    std::vector<std::string> lines{"earlier line"};
    int clears = 0;
};

const std::string kRule(48, '-');

struct OpenStep : test::DeviceFixture
{
    QTemporaryDir dir;
    RecordingPanel panel;

    QString write(const char *name, const std::vector<std::uint8_t> &bytes)
    {
        const QString path = dir.filePath(QLatin1String(name));
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    void deviceAnswers(const std::string &identity)
    {
        link.replies.push_back({link::ReplyOk, {identity.begin(), identity.end()}});
    }
};

TEST_F(OpenStep, AcceptedFileAndAnsweringDeviceGiveNineLines)
{
    deviceAnswers("ID003012300071");
    const auto result =
        update::runOpenStep(device, panel, write("a.dpc", test::makeDpc(40, 0, "PR01 02340005")));
    EXPECT_EQ(result.kind, Kind::Accepted);
    ASSERT_TRUE(result.image);
    EXPECT_EQ(result.image->NumBlocks, 40);
    const std::vector<std::string> expected = {
        kRule, " File interface version:     PR01", " File firmware version:      02.34",
        " File mod number:            0005", kRule,
        // Four characters: "ID00", which no protocol name matches.
        " Target XLT Interface:   ID00", " Target XLT firmware:    01.23",
        " Target mod number:      0007", kRule};
    EXPECT_EQ(panel.lines, expected);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0], std::vector<std::uint8_t>{16});
    EXPECT_EQ(device.XLTPortNumber, 5);
    EXPECT_EQ(device.CmdPacket.BaudRate, 9600u);
    EXPECT_EQ(device.CmdPacket.Timeout, 3000u);
    EXPECT_TRUE(notifier.messages.empty());
}

TEST_F(OpenStep, DeviceThatDoesNotAnswerLeavesFourLinesAndAcceptsTheFile)
{
    struct
    {
        const char *name;
        std::function<void()> arrange;
        std::vector<std::string> messages;
    } cases[] = {
        {"no device", [&] { ports.records.clear(); }, {}},
        {"port does not open", [&] { link.openSucceeds = false; }, {}},
        {"time-out",
         [&] {
             link.replies.push_back({link::CommandTimeOut, {}});
         },
         {"XLT Command transmission error COMMAND TIME_OUT"}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const auto result = update::runOpenStep(device, panel, write("a.dpc", test::makeDpc(3)));
        EXPECT_EQ(result.kind, Kind::Accepted);
        EXPECT_EQ(panel.lines.size(), 4u);
        EXPECT_EQ(notifier.texts(), c.messages);
        notifier.messages.clear();
        ports.records = {{"\\Device\\USBSER000", "COM5", "/dev/null"}};
        link.openSucceeds = true;
    }
}

TEST_F(OpenStep, UnreadableOrEmptyFileChangesNothing)
{
    for (const QString &path :
         {dir.filePath(QStringLiteral("missing.dpc")), dir.path(), write("empty.dpc", {})}) {
        const auto result = update::runOpenStep(device, panel, path);
        EXPECT_EQ(result.kind, Kind::Unchanged);
        EXPECT_EQ(panel.clears, 0);
        EXPECT_EQ(panel.lines, std::vector<std::string>{"earlier line"});
    }
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(link.openCalls, 0);
}

TEST_F(OpenStep, RefusedFileClearsThePanelAndNamesTheFile)
{
    auto bad = test::makeDpc(3);
    bad[2] = 't';
    const struct
    {
        const char *name;
        std::vector<std::uint8_t> bytes;
        std::string reason; ///< after the file name; empty: silent
    } cases[] = {
        {"magic.dpc", bad, " is not a valid XLT OS Update file"},
        {"short.dpc", test::makeDpc(3, 2172), ""},
        {"zero.dpc", test::makeDpc(0, 3000),
         " is not a valid XLT OS Update file: its block count is 0"},
        {"cut.dpc", test::makeDpc(100, 5000),
         " is not a valid XLT OS Update file: its 100 blocks need 12928 bytes, but the file has "
         "5000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        notifier.messages.clear();
        panel.lines = {"earlier line"};
        const QString path = write(c.name, c.bytes);
        const auto result = update::runOpenStep(device, panel, path);
        EXPECT_EQ(result.kind, Kind::Refused);
        EXPECT_FALSE(result.image);
        EXPECT_TRUE(panel.lines.empty());
        if (c.reason.empty()) {
            EXPECT_TRUE(notifier.messages.empty());
        } else {
            ASSERT_EQ(notifier.messages.size(), 1u);
            EXPECT_EQ(notifier.messages[0].icon, core::Icon::Exclamation);
            EXPECT_EQ(notifier.messages[0].text, path.toStdString() + c.reason);
        }
    }
    EXPECT_EQ(link.openCalls, 0);
}

TEST_F(OpenStep, DeviceHeldElsewhereIsNotAskedButTheFileIsAccepted)
{
    const link::DeviceHold monitor(device, "traffic monitor");
    const auto result = update::runOpenStep(device, panel, write("a.dpc", test::makeDpc(3)));
    EXPECT_EQ(result.kind, Kind::Accepted);
    EXPECT_EQ(panel.lines.size(), 4u);
    EXPECT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(link.openCalls, 0);
}

} // namespace
