// The emulated device's answers, driven with made-up times so nothing waits.
#include "sim/DeviceModel.h"
#include "sim/StateFile.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace xlt::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = Response::Kind;

namespace {

const Clock::time_point kT0{};

Bytes writeCommand(std::uint8_t fill)
{
    Bytes command(129, fill);
    command[0] = 18;
    return command;
}

Bytes blockCommand(int number, std::uint8_t fill = 0)
{
    Bytes command(131, fill);
    command[0] = 21;
    command[1] = static_cast<std::uint8_t>(number & 0xFF);
    command[2] = static_cast<std::uint8_t>(number >> 8);
    return command;
}

/// Block 15 of an image that carries `identity` at its bytes 112..124.
Bytes identityBlock(const std::string &identity)
{
    Bytes command = blockCommand(15);
    std::copy(identity.begin(), identity.end(), command.begin() + 3 + 112);
    return command;
}

Response send(DeviceModel &model, const Bytes &command, Clock::time_point at = kT0)
{
    return model.handle(command, at);
}

std::string text(const Bytes &bytes)
{
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(DeviceModel, AnswersIdentityAndConfigurationBlock)
{
    DeviceModel model;
    const Response identity = send(model, {16});
    EXPECT_EQ(identity.status, kStatusAccepted);
    EXPECT_EQ(text(identity.data), "PR01 01230001");

    const Response block = send(model, {17});
    ASSERT_EQ(block.data.size(), 128u);
    for (std::size_t row = 0; row < 8; ++row)
        EXPECT_EQ(block.data[80 + 4 * row], 0x61 + row) << row;
    EXPECT_EQ(block.data[kHostDriveOffset], 0);
    EXPECT_NE(block.data[0], 0) << "a version text";
    EXPECT_NE(block.data[64], 0) << "a boot version text";
}

TEST(DeviceModel, RefusesMalformedCommands)
{
    const std::vector<Bytes> malformed = {
        {},      {16, 0}, {17, 0}, Bytes(128, 18), Bytes(130, 18), {1, 0},         {2},  {2, 5},
        {20, 1}, {22, 0}, {23},    {23, 3},        {23, 1, 1},     Bytes(130, 21), {99},
    };
    for (const Bytes &command : malformed) {
        DeviceModel model;
        const Response response = send(model, command);
        EXPECT_EQ(response.kind, Kind::Reply);
        EXPECT_EQ(response.status, kStatusRefused) << "command of " << command.size() << " bytes";
        EXPECT_TRUE(response.data.empty());
    }
}

TEST(DeviceModel, WrittenBlockIsReadBackAndSurvivesARestart)
{
    QTemporaryDir dir;
    DeviceOptions options;
    options.statePath = dir.filePath("device.state").toStdString();
    Bytes write = writeCommand(0x5A);
    write[1 + kHostDriveOffset] = 0xFF;
    {
        DeviceModel model(options);
        EXPECT_EQ(send(model, write).status, kStatusAccepted);
        EXPECT_EQ(send(model, {17}).data, Bytes(write.begin() + 1, write.end()));
    }
    DeviceModel restarted(options);
    EXPECT_EQ(send(restarted, {17}).data, Bytes(write.begin() + 1, write.end()));
    EXPECT_TRUE(restarted.stateError().empty());
}

TEST(DeviceModel, DamagedStateFileFallsBackToTheBuiltInBlock)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("device.state").toStdString();
    const std::vector<std::string> damaged = {"", "block=12\n", "block=" + std::string(256, 'G'),
                                              "# nothing else\n"};
    for (const std::string &content : damaged) {
        std::ofstream(path) << content;
        DeviceOptions options;
        options.statePath = path;
        DeviceModel model(options);
        EXPECT_EQ(model.configBlock(), defaultConfigBlock()) << content;
        EXPECT_FALSE(model.stateError().empty()) << content;
    }
}

TEST(DeviceModel, UnstorableBlockIsRefusedAndTheOldOneKept)
{
    QTemporaryDir dir;
    DeviceOptions options;
    options.statePath = dir.filePath("missing-folder/device.state").toStdString();
    DeviceModel model(options);
    const Response response = send(model, writeCommand(0x11));
    EXPECT_EQ(response.status, kStatusRefused);
    EXPECT_EQ(model.configBlock(), defaultConfigBlock());
    EXPECT_FALSE(model.stateError().empty());
}

TEST(DeviceModel, StateFileWriteIsAtomicAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("device.state").toStdString();
    ConfigBlock block = defaultConfigBlock();
    block[5] = 0x7F;
    std::string error;
    ASSERT_TRUE(writeStateFile(path, block, error)) << error;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(readStateFile(path, error), block);
}

// ---- Firmware update -------------------------------------------------------------------

TEST(DeviceModelUpdate, AcceptsBlocksInOrderOnly)
{
    DeviceModel model;
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(send(model, blockCommand(n, std::uint8_t(n))).status, kStatusAccepted) << n;
    EXPECT_EQ(send(model, blockCommand(5)).status, kStatusRefused);
    EXPECT_EQ(send(model, blockCommand(3)).status, kStatusRefused)
        << "an image that lost its order takes no more blocks";
    ASSERT_EQ(model.updateBlocks().size(), 3u);
    EXPECT_EQ(model.updateBlocks()[2][0], 2);

    EXPECT_EQ(send(model, blockCommand(0, 9)).status, kStatusAccepted) << "block 0 starts anew";
    ASSERT_EQ(model.updateBlocks().size(), 1u);
    EXPECT_EQ(model.updateBlocks()[0][127], 9);
}

TEST(DeviceModelUpdate, RefusesEverythingWhileCopyingTheFirstStage)
{
    DeviceModel model;
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(send(model, blockCommand(n), kT0).status, kStatusAccepted) << n;
    const auto copy = model.options().firstStageCopy;
    EXPECT_GE(copy, 2500ms);
    EXPECT_LE(copy, 3000ms);

    EXPECT_EQ(send(model, {16}, kT0 + 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, blockCommand(256), kT0 + copy - 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, blockCommand(256), kT0 + copy).status, kStatusAccepted)
        << "a block refused during the copy may be sent again";
    EXPECT_EQ(send(model, {16}, kT0 + copy + 1ms).status, kStatusAccepted);
}

TEST(DeviceModelUpdate, ReportsTheImagesIdentityOnceComplete)
{
    DeviceModel model;
    for (int n = 0; n < 15; ++n)
        send(model, blockCommand(n));
    EXPECT_EQ(send(model, identityBlock("NT00 02450007")).status, kStatusAccepted);
    EXPECT_EQ(text(send(model, blockCommand(16)).data), "") << "still receiving";
    EXPECT_EQ(model.identity(), "PR01 01230001");
    EXPECT_EQ(text(send(model, {16}).data), "NT00 02450007");
}

TEST(DeviceModelUpdate, ShortOrSpoiltImagesNeverChangeTheIdentity)
{
    struct Case
    {
        const char *name;
        int blocks;
        std::optional<int> refuse;
    };
    const Case cases[] = {{"fifteen blocks", 15, {}}, {"block 10 refused", 20, 10}};
    for (const Case &c : cases) {
        DeviceOptions options;
        options.refuseBlock = c.refuse;
        DeviceModel model(options);
        for (int n = 0; n < c.blocks; ++n)
            send(model, n == 15 ? identityBlock("XX99 99999999") : blockCommand(n));
        EXPECT_EQ(text(send(model, {16}).data), "PR01 01230001") << c.name;
    }
}

TEST(DeviceModelUpdate, BlockFaults)
{
    struct Case
    {
        const char *name;
        void (*set)(DeviceOptions &);
        Kind kind;
        std::uint8_t status;
    };
    const Case cases[] = {
        {"refuse", [](DeviceOptions &o) { o.refuseBlock = 2; }, Kind::Reply, kStatusRefused},
        {"time out", [](DeviceOptions &o) { o.timeoutAtBlock = 2; }, Kind::NoReply, 3},
        {"disconnect", [](DeviceOptions &o) { o.disconnectAtBlock = 2; }, Kind::Disconnect, 3},
    };
    for (const Case &c : cases) {
        DeviceOptions options;
        c.set(options);
        DeviceModel model(options);
        EXPECT_EQ(send(model, blockCommand(0)).status, kStatusAccepted) << c.name;
        EXPECT_EQ(send(model, blockCommand(1)).status, kStatusAccepted) << c.name;
        const Response response = send(model, blockCommand(2));
        EXPECT_EQ(response.kind, c.kind) << c.name;
        if (c.kind == Kind::Reply) {
            EXPECT_EQ(response.status, c.status) << c.name;
        }
        EXPECT_EQ(model.disconnected(), c.kind == Kind::Disconnect) << c.name;
    }
}

// ---- Automatic configuration detection ----------------------------------------------------

TEST(DeviceModelDetection, StatusSequences)
{
    struct Case
    {
        const char *name;
        bool allAtOnce;
        std::uint8_t target;
        Bytes statuses;
    };
    const Case cases[] = {
        {"one at a time", false, 7, {1, 3, 7, 7}},
        {"all at once", true, 7, {7, 7}},
        {"never the currency", false, 3, {1, 3, 3, 3}},
        {"an extra flag", false, 15, {1, 3, 7, 15, 15}},
        {"extra flag at once", true, 15, {15}},
    };
    for (const Case &c : cases) {
        DeviceOptions options;
        options.detectAllAtOnce = c.allAtOnce;
        options.detectTarget = c.target;
        DeviceModel model(options);
        EXPECT_EQ(send(model, {22}).data, Bytes{0}) << c.name << ": before a start";
        EXPECT_EQ(send(model, {20}).status, kStatusAccepted);
        Bytes seen;
        for (std::size_t i = 0; i < c.statuses.size(); ++i)
            seen.push_back(send(model, {22}).data.at(0));
        EXPECT_EQ(seen, c.statuses) << c.name;
    }
}

TEST(DeviceModelDetection, FetchRepliesCarryTheDetectedItems)
{
    for (const bool reportsAll : {false, true}) {
        DeviceOptions options;
        options.detectAllAtOnce = true;
        options.fetchReportsAll = reportsAll;
        DeviceModel model(options);
        send(model, {20});
        send(model, {22});
        const DetectedConfig &detected = options.detected;
        const struct
        {
            std::uint8_t item;
            Bytes data;
        } items[] = {
            {1, Bytes(detected.version.begin(), detected.version.end())},
            {2, Bytes(detected.bootVersion.begin(), detected.bootVersion.end())},
            {4, Bytes(detected.currency.begin(), detected.currency.end())},
        };
        for (const auto &item : items) {
            const Response response = send(model, {23, item.item});
            ASSERT_EQ(response.status, kStatusAccepted);
            ASSERT_FALSE(response.data.empty());
            EXPECT_EQ(response.data[0], reportsAll ? 7 : item.item);
            EXPECT_EQ(Bytes(response.data.begin() + 1, response.data.end()), item.data);
        }
    }
}

TEST(DeviceModelDetection, ItemsNotYetFoundAndFailingStatusAreRefused)
{
    DeviceModel model;
    send(model, {20});
    EXPECT_EQ(send(model, {23, 1}).status, kStatusRefused) << "nothing reported yet";
    send(model, {22});
    EXPECT_EQ(send(model, {23, 1}).status, kStatusAccepted);
    EXPECT_EQ(send(model, {23, 2}).status, kStatusRefused);

    DeviceOptions failing;
    failing.detectStatusFails = true;
    failing.failStatus = 9;
    DeviceModel broken(failing);
    send(broken, {20});
    EXPECT_EQ(send(broken, {22}).status, 9);
}

// ---- Line faults ----------------------------------------------------------------------------

TEST(DeviceModelFaults, EachFaultAndWhetherTheCommandWasCarriedOut)
{
    struct Case
    {
        Fault fault;
        Kind kind;
        std::uint8_t status;
        bool garbageBefore;
        bool carriedOut;
    };
    const Case cases[] = {
        {Fault::NoReply, Kind::NoReply, 3, false, false},
        {Fault::BadCrc, Kind::BadCrc, 3, false, true},
        {Fault::GarbageBefore, Kind::Reply, 3, true, true},
        {Fault::GarbageOnly, Kind::Garbage, 3, false, false},
        {Fault::FailStatus, Kind::Reply, 7, false, false},
    };
    for (const Case &c : cases) {
        DeviceOptions options;
        options.fault = c.fault;
        options.failStatus = 7;
        DeviceModel model(options);
        const Response response = send(model, writeCommand(0x42));
        EXPECT_EQ(response.kind, c.kind) << int(c.fault);
        EXPECT_EQ(response.status, c.status) << int(c.fault);
        EXPECT_EQ(response.garbageBefore, c.garbageBefore) << int(c.fault);
        EXPECT_EQ(model.configBlock()[0] == 0x42, c.carriedOut) << int(c.fault);
    }
}

TEST(DeviceModelFaults, FaultLimitedToOneCommandCode)
{
    DeviceOptions options;
    options.fault = Fault::FailStatus;
    options.faultCode = 16;
    DeviceModel model(options);
    EXPECT_EQ(send(model, {16}).status, kStatusRefused);
    EXPECT_EQ(send(model, {17}).status, kStatusAccepted);
}

TEST(DeviceModelFaults, VanishesAfterNCommandsUntilReplugged)
{
    DeviceOptions options;
    options.disconnectAfter = 2;
    DeviceModel model(options);
    EXPECT_EQ(send(model, {16}).kind, Kind::Reply);
    EXPECT_EQ(send(model, {16}).kind, Kind::Reply);
    EXPECT_EQ(send(model, {16}).kind, Kind::Disconnect);
    EXPECT_TRUE(model.disconnected());
    EXPECT_EQ(send(model, {17}).kind, Kind::Disconnect);
    model.replug();
    EXPECT_EQ(send(model, {16}).kind, Kind::Reply);
}
