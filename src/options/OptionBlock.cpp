#include "OptionBlock.h"

#include "link/Identity.h"
#include "link/Operation.h"
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

TargetInfo readTargetInfo(link::Flow &flow)
{
    if (link::FindXLTPort(flow) == 0) {
        flow.tell(core::Icon::Exclamation, kNoDeviceText);
        return TargetInfo{};
    }
    TargetInfo info;
    info.portFound = true;
    if (const auto identity = link::readDeviceIdentity(flow, link::FirmwareStyle::AsIs))
        info.lines = link::targetIdentityLines(*identity);
    return info;
}

std::optional<OptionBlock> readOptionBlock(link::Flow &flow)
{
    if (!link::ReadXLTConfig(flow, flow.CmdPacket))
        return std::nullopt;
    const link::XLTPacket &reply = flow.CmdPacket;
    OptionBlock block{};
    if (reply.ReplyLength < block.size()) {
        flow.tell(core::Icon::Exclamation, shortReplyMessage(reply.ReplyLength));
        return std::nullopt;
    }
    std::copy_n(reply.ReplyData, block.size(), block.begin());
    return block;
}

OptionsReading readOptions(link::Flow &flow)
{
    OptionsReading reading;
    reading.info = readTargetInfo(flow);
    if (!reading.info.portFound)
        return reading;
    reading.port = flow.CmdPacket.PortNumber;
    reading.block = readOptionBlock(flow);
    return reading;
}

std::optional<OptionBlock> writeHostDrive(link::Flow &flow, std::uint8_t port, HostDrive drive)
{
    link::XLTPacket &packet = flow.CmdPacket;
    packet.PortNumber = port;
    packet.BaudRate = link::kBaudRate;
    packet.Timeout = link::kTimeoutMs;
    const std::optional<OptionBlock> current = readOptionBlock(flow);
    if (!current)
        return std::nullopt;
    const OptionBlock changed = withHostDrive(*current, drive);
    if (!link::WriteXLTConfig(flow, packet, changed))
        return std::nullopt;
    return changed;
}

} // namespace xlt::options
