#include "UpdateFixture.h"
#include "core/FileIo.h"
#include "update/TextProgress.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <optional>

using namespace xlt;
using test::makeDpc;
using update::UpdateResult;
using namespace std::chrono_literals;

namespace {

// A file of at most the header and 32768 blocks is read; a larger one is no update file.
TEST(UpdateFile, ReadsUpToTheLargestImage)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("x.dpc"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(update::kMaximumFileBytes));
    file.close();
    const std::filesystem::path path = xlt::core::toPath(file.fileName());
    EXPECT_EQ(update::readWholeFile(path)->size(), std::size_t(update::kMaximumFileBytes));
    ASSERT_TRUE(QFile::resize(file.fileName(), update::kMaximumFileBytes + 1));
    EXPECT_FALSE(update::readWholeFile(path));
}

TEST(UpdateFile, ChecksInOrder)
{
    using enum update::FileCheck;
    const std::string bad = "C:\\fw\\x.dpc is not a valid XLT OS Update file";
    auto lowerT = makeDpc(15);
    lowerT[2] = 't';
    // Rows: name, file, the check's result, its message (empty when silent or accepted).
    const std::tuple<const char *, test::Bytes, update::FileCheck, std::string> cases[] = {
        {"empty", {}, Empty, ""},
        {"two bytes", {'X', 'L'}, NoIdentity, ""},
        {"lower-case t", lowerT, BadMagic, bad},
        {"magic before length", {'A', 'B', 'C', 'D'}, BadMagic, bad},
        {"2172 bytes", makeDpc(15, 2172), NoIdentity, ""},
        {"2173 bytes", makeDpc(15, 2173), Accepted, ""},
        {"count 0", makeDpc(0, 4000), NoBlocks, bad + ": its block count is 0"},
        {"count 32769", makeDpc(32769, 4000), TooManyBlocks,
         bad + ": its block count 32769 is above 32768"},
        {"count 32768", makeDpc(32768), Accepted, ""},
        {"last block cut", makeDpc(16, 2175), MissingBlocks,
         bad + ": its 16 blocks need 2176 bytes, but the file has 2175"},
        {"last block whole", makeDpc(16, 2176), Accepted, ""},
        {"trailing bytes", makeDpc(16, 3000), Accepted, ""},
    };
    for (const auto &[name, bytes, check, message] : cases) {
        SCOPED_TRACE(name);
        const auto result = update::openUpdateFile("C:\\fw\\x.dpc", bytes);
        EXPECT_EQ(result.check, check);
        EXPECT_EQ(result.message, message);
        EXPECT_EQ(result.image.has_value(), check == Accepted);
    }
}

// Each byte is one character; a short reply never shows bytes from beyond it.
TEST(UpdateFile, IdentityFields)
{
    const auto fields = [](const std::string &bytes, link::FirmwareStyle style) {
        const auto id = link::parseIdentity(
            {reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()}, style);
        return id.interfaceCode + "|" + id.firmware + "|" + id.modNumber;
    };
    using enum link::FirmwareStyle;
    EXPECT_EQ(fields(std::string("PR\0\x31-\0\x31\x32\x33M\0\0\xE9", 13), WithPoint),
              std::string("PR\0\x31|\0\x31.\x32\x33|M\0\0\xE9", 15));
    EXPECT_EQ(fields("PR01 012", WithPoint), "PR01|01.2|");
    EXPECT_EQ(fields("PR01 012", AsIs), "PR01|012|");
}

struct UpdateRun : test::UpdateDevice, update::ProgressSink
{
    void setLabel(const std::string &text) override { label = text; }
    void setMaximum(int) override {}
    void setValue(int v) override { value = v; }
    void setBusy(bool b) override { busy = b; }
    /// The line runs at once, so the run has ended when start() returns.
    update::UpdateOutcome run(int numBlocks)
    {
        std::optional<update::UpdateOutcome> outcome;
        updater.start(*update::openUpdateFile("f.dpc", test::makeDpc(numBlocks)).image, shown(), {},
                      [&outcome](update::UpdateOutcome o) { outcome = o; });
        EXPECT_TRUE(outcome.has_value());
        return outcome.value_or(update::UpdateOutcome{});
    }
    std::string label;
    int value = -1;
    bool busy = false;
    update::Updater updater{context, *this};
};

bool isBlock(const test::Bytes &command)
{
    return command.at(0) == link::kCmdUpdateBlock;
}

// The identity is read just before the first block and again after the last; a second run
// sends the same commands, again from block 0.
TEST(Updater, CommandsCarryBlockNumberLowByteFirstAndTheBlock)
{
    UpdateRun r;
    ASSERT_EQ(r.run(300).result, UpdateResult::Complete);
    const auto first = r.link.sent;
    r.link.sent.clear();
    r.identity = "PR01 02340005"; // the image now in use
    const auto outcome = r.run(300);
    ASSERT_EQ(outcome.result, UpdateResult::Complete);
    ASSERT_TRUE(outcome.identityAfter);
    EXPECT_EQ(outcome.identityAfter->firmware, "02.34");
    EXPECT_EQ(r.link.sent, first);
    ASSERT_EQ(first.size(), 302u);
    EXPECT_EQ(first.front(), test::Bytes{16});
    EXPECT_EQ(first.back(), test::Bytes{16});
    const auto file = test::makeDpc(300);
    for (const auto &[n, low, high] :
         {std::tuple{0, 0, 0}, {255, 255, 0}, {256, 0, 1}, {299, 43, 1}}) {
        test::Bytes expected{21, std::uint8_t(low), std::uint8_t(high)};
        expected.insert(expected.end(), file.begin() + 128 * (n + 1), file.begin() + 128 * (n + 2));
        EXPECT_EQ(first[std::size_t(n + 1)], expected) << n;
    }
    // The port is opened and closed around every exchange: 2 runs of 302.
    EXPECT_EQ(r.link.openCalls, 604);
    EXPECT_EQ(r.link.closeCalls, 604);
    EXPECT_EQ(r.link.openedPort, 5);
}

// The label shown while each block is sent; the pause comes only after block 255.
TEST(Updater, LabelsAndPause)
{
    std::map<int, std::vector<std::string>> labels;
    for (int numBlocks : {1, 255, 256, 300}) {
        SCOPED_TRACE(numBlocks);
        UpdateRun r;
        auto &shown = labels[numBlocks];
        r.link.responder = [&](const test::Bytes &command) {
            if (isBlock(command)) {
                shown.push_back(r.label);
                EXPECT_EQ(r.pauses.totalMs, shown.size() <= 256 ? 0 : 3000) << shown.size();
            }
            return r.answer(command);
        };
        ASSERT_EQ(r.run(numBlocks).result, UpdateResult::Complete);
        ASSERT_EQ(shown.size(), std::size_t(numBlocks));
        // Three timed periods of one second each, and only after block 255.
        const std::vector<long long> pause = {1000, 1000, 1000};
        EXPECT_EQ(r.pauses.delays, numBlocks >= 256 ? pause : std::vector<long long>());
        EXPECT_EQ(r.label, "Update complete");
    }
    EXPECT_EQ(labels[1][0], "Updating XLT - Block 1 of 1");
    EXPECT_EQ(labels[255][254], "Updating XLT - Block 255 of 255");
    EXPECT_EQ(labels[256][255], update::kFirstStageText);
    EXPECT_EQ(labels[300][256], "Updating XLT - Block 257 of 300");
    EXPECT_EQ(labels[300][299], "Updating XLT - Block 300 of 300");
}

// The first failure ends the run: the device refuses a block, or the port does not open for it.
TEST(Updater, FailedBlockEndsTheRunWithEmptyLabelAndBar)
{
    for (const auto &[failAt, refused] : {std::pair{0, true}, {40, false}, {299, true}}) {
        SCOPED_TRACE(failAt);
        UpdateRun r;
        int blocks = 0;
        r.link.responder = [&, failAt = failAt, refused = refused](const test::Bytes &command) {
            if (!isBlock(command))
                return r.answer(command);
            ++blocks;
            r.link.openSucceeds = refused || blocks < failAt;
            return test::FakeLink::Reply{
                refused && blocks == failAt + 1 ? link::PacketError : link::ReplyOk, {}};
        };
        const auto outcome = r.run(300);
        EXPECT_EQ(outcome.result, UpdateResult::BlockFailed);
        EXPECT_EQ(outcome.failedBlock, failAt);
        EXPECT_EQ(blocks, failAt + refused);
        EXPECT_EQ(r.link.sent.size(), std::size_t(blocks + 1)); // no identity read after
        EXPECT_EQ(r.label, "");
        EXPECT_EQ(r.value, 0);
        EXPECT_FALSE(r.busy);
        EXPECT_EQ(r.notifier.messages.size(), std::size_t(refused));
        EXPECT_TRUE(r.context.holder.empty());
    }
}

TEST(Updater, SendsNoBlockWithoutAFreeDeviceThatTellsItsIdentity)
{
    UpdateRun none, silent, nested;
    none.ports.records.clear();
    none.label = "Update complete";
    EXPECT_EQ(none.run(3).result, UpdateResult::NoDevice);
    EXPECT_EQ(none.notifier.texts(), std::vector<std::string>{"No XLT device detected"});
    EXPECT_EQ(none.label, "");
    EXPECT_EQ(none.link.openCalls, 0);

    silent.link.replies.push_back({link::CommandTimeOut, {}});
    EXPECT_EQ(silent.run(3).result, UpdateResult::NotAnswered);
    EXPECT_EQ(silent.link.sent, std::vector<test::Bytes>{{16}});
    EXPECT_EQ(silent.notifier.texts(),
              std::vector<std::string>{"XLT Command transmission error COMMAND TIME_OUT"});

    // An update does not start again while it runs (here: during its pause).
    std::optional<UpdateResult> inner;
    nested.pauses.onPause = [&] {
        if (!inner)
            inner = nested.run(300).result;
    };
    EXPECT_EQ(nested.run(300).result, UpdateResult::Complete);
    EXPECT_EQ(inner, UpdateResult::Refused);
    EXPECT_EQ(std::count_if(nested.link.sent.begin(), nested.link.sent.end(), isBlock), 300);
}

TEST(TextProgress, Lines)
{
    using update::progressLine;
    EXPECT_EQ(progressLine(1, 300, 0ms), // nothing sent yet: no estimate
              "[..............................]   0%  block 1/300  0:00 elapsed  --:-- left");
    EXPECT_EQ(progressLine(150, 300, 14900ms), // 151 left at 0.1 s each, and the pause
              "[###############...............]  50%  block 150/300  0:14 elapsed  0:18 left");
    EXPECT_EQ(progressLine(257, 300, 28600ms), // the pause is part of the 28.6 s
              "[#########################.....]  85%  block 257/300  0:28 elapsed  0:04 left");
    EXPECT_EQ(
        progressLine(2, 32768, 3700s),
        "[..............................]   0%  block 2/32768  1:01:40 elapsed  33677:11:43 left");

    // Not on a terminal: one whole line per tenth sent, the last block's included.
    for (const int blocks : {1, 300}) {
        std::FILE *log = std::tmpfile();
        update::TextProgress progress(log, update::TextProgress::Output::Lines);
        progress.setMaximum(blocks);
        for (int value = 1; value <= blocks; ++value)
            progress.setValue(value);
        std::rewind(log);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), log));
        std::fclose(log);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::min(blocks, 10)) << blocks;
        EXPECT_EQ(text.find('\r'), std::string::npos);
        const std::string all = std::to_string(blocks) + "/" + std::to_string(blocks);
        EXPECT_NE(text.rfind("100%  block " + all), std::string::npos) << text;
        if (blocks == 300) {
            EXPECT_NE(text.find(" 10%  block 31/300"), std::string::npos) << text;
        }
    }
}

} // namespace
