#include "Pr01Device.h"

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <memory>
#include <span>

namespace xlt::pr01 {

namespace {

constexpr const char *kReadHolder = "PR01 configuration read";
constexpr const char *kWriteHolder = "PR01 configuration write";

/// The device's block from the reply in CmdPacket; nothing, after telling the user, when the
/// reply is shorter than the block.
std::optional<ConfigBlock> replyBlock(link::DeviceContext &context)
{
    const link::XLTPacket &reply = context.CmdPacket;
    if (reply.ReplyLength < kBlockSize) {
        context.notifier.message(core::Icon::Exclamation,
                                 shortConfigReplyMessage(reply.ReplyLength));
        return std::nullopt;
    }
    ConfigBlock block{};
    std::copy_n(reply.ReplyData, kBlockSize, block.begin());
    return block;
}

void sendBlock(link::DeviceContext &context, ConfigBlock block, std::uint8_t hostDrive,
               const std::shared_ptr<link::DeviceHold> &hold, std::function<void(bool)> done)
{
    block[kHostDriveOffset] = hostDrive;
    link::WriteXLTConfig(context, block, [&context, hold, done = std::move(done)](bool ok) {
        if (ok)
            context.notifier.message(core::Icon::Information,
                                     "XLT PR01 configuration successfully save to XLT memory");
        done(ok);
    });
}

} // namespace

void CheckPR01Device(link::DeviceContext &context, std::function<void(bool ok)> done)
{
    if (link::FindXLTPort(context) == 0) {
        context.notifier.message(core::Icon::Exclamation, "No XLT device detected");
        return done(false);
    }
    link::ReadXLTVersion(context, [&context, done = std::move(done)](bool ok) {
        if (!ok)
            return done(false);
        const std::string identity = link::replyText(context.CmdPacket);
        if (identity.starts_with("PR01") || identity.starts_with("ID003"))
            return done(true);
        context.notifier.message(core::Icon::Exclamation,
                                 "XLT Firmware " + identity + " is not PR01 compatable.");
        done(false);
    });
}

std::string shortConfigReplyMessage(std::size_t length)
{
    return "The XLT device sent " + std::to_string(length) +
           " bytes of configuration instead of 128. Nothing was taken from it.";
}

void readPr01Configuration(link::DeviceContext &context,
                           std::function<void(std::optional<Pr01Reading>)> done)
{
    if (link::refuseWhileHeld(context))
        return done(std::nullopt);
    auto hold = std::make_shared<link::DeviceHold>(context, kReadHolder);
    CheckPR01Device(context, [&context, hold, done = std::move(done)](bool ok) mutable {
        if (!ok)
            return done(std::nullopt);
        link::ReadXLTConfig(context, [&context, hold, done = std::move(done)](bool read) {
            const std::optional<ConfigBlock> block =
                read ? replyBlock(context) : std::optional<ConfigBlock>{};
            if (!block)
                return done(std::nullopt);
            done(Pr01Reading{decodeConfigBlock(*block), (*block)[kHostDriveOffset]});
        });
    });
}

void writePr01Configuration(link::DeviceContext &context, const Pr01Texts &boxes,
                            std::optional<std::uint8_t> hostDrive,
                            std::function<void(bool ok)> done)
{
    if (link::refuseWhileHeld(context))
        return done(false);
    const EncodeResult encoded = encodeConfigBlock(boxes);
    if (!encoded.block) {
        context.notifier.message(core::Icon::Exclamation, encoded.error);
        return done(false);
    }
    auto hold = std::make_shared<link::DeviceHold>(context, kWriteHolder);
    CheckPR01Device(context, [&context, hold, hostDrive, block = *encoded.block,
                              done = std::move(done)](bool ok) mutable {
        if (!ok)
            return done(false);
        if (hostDrive)
            return sendBlock(context, block, *hostDrive, hold, std::move(done));
        // The host drive option is not the configuration window's: keep what the device has.
        link::ReadXLTConfig(context, [&context, hold, block, done = std::move(done)](bool read) {
            const std::optional<ConfigBlock> current =
                read ? replyBlock(context) : std::optional<ConfigBlock>{};
            if (!current)
                return done(false);
            sendBlock(context, block, (*current)[kHostDriveOffset], hold, done);
        });
    });
}

} // namespace xlt::pr01
