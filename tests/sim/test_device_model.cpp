// The emulated device's answers, driven with made-up times so nothing waits.
#include "sim/DeviceModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = Response::Kind;

namespace {

const Clock::time_point kT0{};
const std::string kIdentity = "PR01 01230001";

/// Update block `number`, its data bytes all `number`; bytes 112..124 may carry an identity.
Bytes block(int number, const std::string &identity = {})
{
    Bytes bytes(131, std::uint8_t(number));
    bytes[0] = 21;
    bytes[1] = std::uint8_t(number & 0xFF);
    bytes[2] = std::uint8_t(number >> 8);
    std::copy(identity.begin(), identity.end(), bytes.begin() + 3 + 112);
    return bytes;
}

Response send(DeviceModel &model, const Bytes &bytes, Clock::time_point at = kT0)
{
    return model.handle(bytes, at);
}

std::string text(const Response &response)
{
    return {response.data.begin(), response.data.end()};
}

} // namespace

TEST(DeviceModel, RefusesMalformedCommands)
{
    const Bytes malformed[] = {{},     {16, 0}, {17, 0},    Bytes(128, 18), Bytes(130, 18),
                               {1, 0}, {2},     {2, 5},     {20, 1},        {22, 0},
                               {23},   {23, 3}, {23, 1, 1}, Bytes(130, 21), {99}};
    for (const Bytes &bytes : malformed) {
        DeviceModel model;
        const Response response = send(model, bytes);
        EXPECT_EQ(response.kind, Kind::Reply);
        EXPECT_EQ(response.status, kStatusRefused) << "command of " << bytes.size() << " bytes";
        EXPECT_TRUE(response.data.empty());
    }
}

TEST(DeviceModel, AnswersAndKeepsItsBlockInTheStateFile)
{
    QTemporaryDir dir;
    DeviceOptions options{.statePath = dir.filePath("device.state").toStdString()};
    Bytes write(129, 0x5A);
    write[0] = 18;
    write[1 + kHostDriveOffset] = 0xFF;
    const Bytes stored(write.begin() + 1, write.end());
    {
        DeviceModel model(options);
        EXPECT_EQ(text(send(model, {16})), kIdentity);
        EXPECT_EQ(send(model, write).status, kStatusAccepted);
        EXPECT_EQ(send(model, {17}).data, stored);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";
    DeviceModel restarted(options);
    EXPECT_EQ(send(restarted, {17}).data, stored);
    EXPECT_TRUE(restarted.stateError().empty());

    for (const std::string &content :
         {std::string(), std::string("block=12\n"), "block=" + std::string(256, 'G')}) {
        std::ofstream(options.statePath) << content;
        DeviceModel damaged(options);
        EXPECT_EQ(damaged.configBlock(), defaultConfigBlock()) << content;
        EXPECT_FALSE(damaged.stateError().empty()) << content;
    }
    // A block that could not be stored is refused, never reported as kept.
    DeviceModel unstorable({.statePath = dir.filePath("no-folder/device.state").toStdString()});
    EXPECT_EQ(send(unstorable, write).status, kStatusRefused);
    EXPECT_EQ(unstorable.configBlock(), defaultConfigBlock());
    EXPECT_FALSE(unstorable.stateError().empty());
}

TEST(DeviceModelUpdate, AcceptsBlocksInOrderOnly)
{
    DeviceModel model;
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(send(model, block(n)).status, kStatusAccepted) << n;
    EXPECT_EQ(send(model, block(5)).status, kStatusRefused);
    EXPECT_EQ(send(model, block(3)).status, kStatusRefused) << "a spoilt image stays so";
    ASSERT_EQ(model.updateBlocks().size(), 3u);
    EXPECT_EQ(model.updateBlocks()[2][0], 2);
    EXPECT_EQ(send(model, block(0)).status, kStatusAccepted) << "block 0 starts anew";
    EXPECT_EQ(model.updateBlocks().size(), 1u);
}

TEST(DeviceModelUpdate, RefusesEverythingWhileCopyingTheFirstStage)
{
    DeviceModel model;
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(send(model, block(n)).status, kStatusAccepted) << n;
    const auto copy = model.options().firstStageCopy;
    EXPECT_GE(copy, 2500ms);
    EXPECT_LE(copy, 3000ms) << "a host waiting three one-second periods is never refused";
    EXPECT_EQ(send(model, {16}, kT0 + 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, block(256), kT0 + copy - 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, block(256), kT0 + copy).status, kStatusAccepted);
    EXPECT_EQ(send(model, {16}, kT0 + copy + 1ms).status, kStatusAccepted);
}

TEST(DeviceModelUpdate, OnlyACompleteImageChangesTheIdentity)
{
    using Switch = std::optional<int> DeviceOptions::*;
    // blocks sent, the switch that spoils block 10, its answer, the reply to 16 afterwards
    const std::tuple<int, Switch, Kind, std::string> cases[] = {
        {17, nullptr, Kind::Reply, "NT00 02450007"},
        {15, nullptr, Kind::Reply, kIdentity},
        {20, &DeviceOptions::refuseBlock, Kind::Reply, kIdentity},
        {20, &DeviceOptions::timeoutAtBlock, Kind::NoReply, kIdentity},
        {20, &DeviceOptions::disconnectAtBlock, Kind::Disconnect, ""}};
    for (const auto &[blocks, spoil, kind, reply] : cases) {
        DeviceOptions options;
        if (spoil)
            options.*spoil = 10;
        DeviceModel model(options);
        std::vector<Response> answers;
        for (int n = 0; n < blocks; ++n)
            answers.push_back(send(model, block(n, n == 15 ? "NT00 02450007" : "")));
        EXPECT_EQ(answers[10].kind, kind) << blocks;
        EXPECT_EQ(answers[10].status == kStatusRefused, spoil == &DeviceOptions::refuseBlock);
        EXPECT_EQ(model.identity(), kIdentity) << blocks << ": not while still receiving";
        EXPECT_EQ(text(send(model, {16})), reply) << blocks;
        EXPECT_EQ(model.disconnected(), reply.empty());
    }
}

TEST(DeviceModelDetection, StatusSequences)
{
    // all at once, target flags, statuses seen after a start (3 and 15 never settle on 7)
    const std::tuple<bool, std::uint8_t, Bytes> cases[] = {{false, 7, {1, 3, 7, 7}},
                                                           {true, 7, {7, 7}},
                                                           {false, 3, {1, 3, 3, 3}},
                                                           {false, 15, {1, 3, 7, 15, 15}},
                                                           {true, 15, {15}}};
    for (const auto &[allAtOnce, target, statuses] : cases) {
        DeviceModel model({.detectAllAtOnce = allAtOnce, .detectTarget = target});
        EXPECT_EQ(send(model, {22}).data, Bytes{0}) << "before a start";
        EXPECT_EQ(send(model, {20}).status, kStatusAccepted);
        Bytes seen;
        while (seen.size() < statuses.size())
            seen.push_back(send(model, {22}).data.at(0));
        EXPECT_EQ(seen, statuses) << int(target) << (allAtOnce ? " at once" : " one by one");
    }
    DeviceModel failing({.detectStatusFails = true, .failStatus = 9});
    send(failing, {20});
    EXPECT_EQ(send(failing, {22}).status, 9) << "a failing status";
}

TEST(DeviceModelDetection, FetchesOnlyReportedItemsWithTheirFlag)
{
    const DetectedConfig found;
    const std::pair<std::uint8_t, std::string> items[] = {
        {1, found.version},
        {2, found.bootVersion},
        {4, std::string(found.currency.begin(), found.currency.end())}};
    for (const bool reportsAll : {false, true}) {
        DeviceModel model({.fetchReportsAll = reportsAll});
        send(model, {20});
        EXPECT_EQ(send(model, {23, 1}).status, kStatusRefused) << "nothing reported yet";
        send(model, {22});
        EXPECT_EQ(send(model, {23, 2}).status, kStatusRefused) << "only item 1 reported yet";
        send(model, {22});
        send(model, {22});
        for (const auto &[item, data] : items) {
            const Response response = send(model, {23, item});
            EXPECT_EQ(response.status, kStatusAccepted);
            EXPECT_EQ(text(response), char(reportsAll ? 7 : item) + data) << int(item);
        }
    }
}
