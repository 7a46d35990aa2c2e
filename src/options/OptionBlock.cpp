#include "OptionBlock.h"

#include "link/DeviceContext.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"
#include "update/Identity.h"

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

TargetInfo readTargetInfo(link::DeviceContext &context)
{
    TargetInfo info;
    link::FindXLTPort(context);
    if (context.XLTPortNumber == 0) {
        context.notifier.message(core::Icon::Exclamation, kNoDeviceText);
        return info;
    }
    info.portFound = true;
    if (const auto identity = update::readDeviceIdentity(context, update::FirmwareStyle::AsIs))
        info.lines = update::targetIdentityLines(*identity);
    return info;
}

std::optional<OptionBlock> readOptionBlock(link::DeviceContext &context)
{
    if (!link::ReadXLTConfig(context, context.CmdPacket))
        return std::nullopt;
    const link::XLTPacket &reply = context.CmdPacket;
    OptionBlock block{};
    if (reply.ReplyLength < block.size()) {
        context.notifier.message(core::Icon::Exclamation, shortReplyMessage(reply.ReplyLength));
        return std::nullopt;
    }
    std::copy_n(reply.ReplyData, block.size(), block.begin());
    return block;
}

bool writeOptionBlock(link::DeviceContext &context, const OptionBlock &block)
{
    return link::WriteXLTConfig(context, context.CmdPacket, block);
}

} // namespace xlt::options
