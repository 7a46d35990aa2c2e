#include "OptionBlock.h"

#include "link/DeviceContext.h"
#include "link/Identity.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <algorithm>

namespace xlt::options {

HostDrive hostDriveOf(const OptionBlock &block)
{
    return block[kHostDriveOffset] == 0 ? HostDrive::TtlRs232 : HostDrive::OptoIsolated;
}

std::uint8_t hostDriveByte(HostDrive drive)
{
    return drive == HostDrive::TtlRs232 ? 0 : 255;
}

OptionBlock withHostDrive(OptionBlock block, HostDrive drive)
{
    block[kHostDriveOffset] = hostDriveByte(drive);
    return block;
}

std::string shortReplyMessage(std::size_t length)
{
    return "The XLT device sent " + std::to_string(length) +
           " bytes of configuration instead of 128. The options were not read.";
}

void readTargetInfo(link::DeviceContext &context, std::function<void(TargetInfo)> done)
{
    link::FindXLTPort(context);
    if (context.XLTPortNumber == 0) {
        context.notifier.message(core::Icon::Exclamation, kNoDeviceText);
        return done(TargetInfo{});
    }
    link::readDeviceIdentity(context, link::FirmwareStyle::AsIs,
                             [done = std::move(done)](std::optional<link::Identity> identity) {
                                 TargetInfo info;
                                 info.portFound = true;
                                 if (identity)
                                     info.lines = link::targetIdentityLines(*identity);
                                 done(std::move(info));
                             });
}

void readOptionBlock(link::DeviceContext &context,
                     std::function<void(std::optional<OptionBlock>)> done)
{
    link::ReadXLTConfig(context, [&context, done = std::move(done)](bool ok) {
        if (!ok)
            return done(std::nullopt);
        const link::XLTPacket &reply = context.CmdPacket;
        OptionBlock block{};
        if (reply.ReplyLength < block.size()) {
            context.notifier.message(core::Icon::Exclamation, shortReplyMessage(reply.ReplyLength));
            return done(std::nullopt);
        }
        std::copy_n(reply.ReplyData, block.size(), block.begin());
        done(block);
    });
}

void writeOptionBlock(link::DeviceContext &context, const OptionBlock &block,
                      std::function<void(bool ok)> done)
{
    link::WriteXLTConfig(context, block, std::move(done));
}

} // namespace xlt::options
