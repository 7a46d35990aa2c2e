// The emulated device's answers, driven with made-up times so nothing waits, its state file, and
// its faults as the in-process link sees them (the faults over a pseudo-terminal, and a device
// that vanishes, are the fault table's: tests/cli/test_fault_table.cpp).
#include "link/XLT_protocol.h"
#include "sim/InProcessLink.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

// Designated initializers of DeviceOptions leave the other switches at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace xlt;
using namespace xlt::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = Response::Kind;

namespace {

const Clock::time_point kT0{};
const std::string kIdentity = "PR01 01230001";

/// Update block `number`, its data bytes all `number`.
Bytes block(int number)
{
    Bytes bytes(131, std::uint8_t(number));
    bytes[0] = 21;
    bytes[1] = std::uint8_t(number & 0xFF);
    bytes[2] = std::uint8_t(number >> 8);
    return bytes;
}

Response send(DeviceModel &model, const Bytes &bytes, Clock::time_point at = kT0)
{
    return model.handle(bytes, at);
}

/// The record after sending `bytes` over the link (opening the port first when needed), with
/// ReplyStatus 0xEE when the port does not open.
link::XLTPacket send(InProcessLink &link, const Bytes &bytes)
{
    link::XLTPacket packet;
    packet.PortNumber = 129;
    packet.CommandLength = std::uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), packet.CommandData);
    packet.ReplyStatus = 0xEE;
    if (link.isOpen() || link.OpenXLTComPort(packet) != 0)
        link.XLTSendCommand(packet);
    return packet;
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

    for (const std::string &content : {std::string(), std::string("block=12\n"),
                                       "block=" + std::string(256, 'G'), std::string(5000, '#')}) {
        std::ofstream(options.statePath) << content;
        DeviceModel damaged(options);
        EXPECT_EQ(damaged.configBlock(), defaultConfigBlock()) << content;
        EXPECT_FALSE(damaged.stateError().empty()) << content;
    }
    // A pipe is no state file: refused at once instead of read without end (the other names that
    // are no regular file: tests/core/test_fileio.cpp).
    const std::string fifo = dir.filePath("fifo").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    DeviceModel refused({.statePath = fifo});
    EXPECT_EQ(refused.configBlock(), defaultConfigBlock());
    EXPECT_NE(refused.stateError().find("not a regular file"), std::string::npos);
    // A block that could not be stored is refused, never reported as kept.
    DeviceModel unstorable({.statePath = dir.filePath("no-folder/device.state").toStdString()});
    EXPECT_EQ(send(unstorable, write).status, kStatusRefused);
    EXPECT_EQ(unstorable.configBlock(), defaultConfigBlock());
    EXPECT_FALSE(unstorable.stateError().empty());
}

TEST(DeviceModelUpdate, TakesBlocksInOrderThenCopiesTheFirstStage)
{
    DeviceModel model;
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(send(model, block(n)).status, kStatusAccepted) << n;
    EXPECT_EQ(send(model, block(5)).status, kStatusRefused);
    EXPECT_EQ(send(model, block(3)).status, kStatusRefused) << "a spoilt image stays so";
    ASSERT_EQ(model.updateBlocks().size(), 3u);
    EXPECT_EQ(model.updateBlocks()[2][0], 2);
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(send(model, block(n)).status, kStatusAccepted) << n << ": block 0 starts anew";
    EXPECT_EQ(model.updateBlocks().size(), 256u);
    const auto copy = model.options().firstStageCopy;
    EXPECT_TRUE(copy > 2500ms && copy < 3000ms) << "a host waiting 3 x 1 s is never refused";
    EXPECT_EQ(send(model, {16}, kT0 + 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, block(256), kT0 + copy - 1ms).status, kStatusRefused);
    EXPECT_EQ(send(model, block(256), kT0 + copy).status, kStatusAccepted);
    EXPECT_EQ(send(model, {16}, kT0 + copy + 1ms).status, kStatusAccepted);
}

// What a fault does to the device itself, and the in-process link's result code for it (what
// xltctl makes of each over the pseudo-terminal is in the fault table).
TEST(InProcessLink, FaultsSpoilTheReplyOrTheCommand)
{
    Bytes write(129, 0x42);
    write[0] = 18;
    // fault, result code, whether the block is written all the same (only the reply is spoilt)
    const std::tuple<Fault, std::uint8_t, bool> cases[] = {
        {Fault::NoReply, link::CommandTimeOut, false},
        {Fault::BadCrc, link::PacketError, true},
        {Fault::GarbageOnly, link::PacketError, false},
        {Fault::GarbageBefore, link::ReplyOk, true},
        {Fault::FailStatus, 9, false}};
    for (const auto &[fault, status, carriedOut] : cases) {
        DeviceModel model({.fault = fault, .failStatus = 9});
        InProcessLink link(model);
        EXPECT_EQ(send(link, write).ReplyStatus, status) << int(fault);
        EXPECT_EQ(model.configBlock()[0] == 0x42, carriedOut) << int(fault);
    }
}
