#include "Pr01Device.h"

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <algorithm>

namespace xlt::pr01 {

namespace {

/// The device's block from the reply in the flow's CmdPacket; nothing, after telling the user,
/// when the reply is shorter than the block.
std::optional<ConfigBlock> replyBlock(link::Flow &flow)
{
    const link::XLTPacket &reply = flow.CmdPacket;
    if (reply.ReplyLength < kBlockSize) {
        flow.tell(core::Icon::Exclamation, shortConfigReplyMessage(reply.ReplyLength));
        return std::nullopt;
    }
    ConfigBlock block{};
    std::copy_n(reply.ReplyData, kBlockSize, block.begin());
    return block;
}

/// Command 17 and the block it brought.
std::optional<ConfigBlock> readBlock(link::Flow &flow)
{
    if (!link::ReadXLTConfig(flow, flow.CmdPacket))
        return std::nullopt;
    return replyBlock(flow);
}

} // namespace

bool CheckPR01Device(link::Flow &flow)
{
    if (link::FindXLTPort(flow) == 0) {
        flow.tell(core::Icon::Exclamation, link::kNoDeviceText);
        return false;
    }
    if (!link::ReadXLTVersion(flow, flow.CmdPacket))
        return false;
    const std::string identity = link::replyText(flow.CmdPacket);
    if (identity.starts_with("PR01") || identity.starts_with("ID003"))
        return true;
    flow.tell(core::Icon::Exclamation, "XLT Firmware " + identity + " is not PR01 compatable.");
    return false;
}

std::string shortConfigReplyMessage(std::size_t length)
{
    return "The XLT device sent " + std::to_string(length) +
           " bytes of configuration instead of 128. Nothing was taken from it.";
}

std::optional<Pr01Reading> readPr01Configuration(link::Flow &flow)
{
    if (!CheckPR01Device(flow))
        return std::nullopt;
    const std::optional<ConfigBlock> block = readBlock(flow);
    if (!block)
        return std::nullopt;
    return Pr01Reading{decodeConfigBlock(*block), (*block)[kHostDriveOffset]};
}

bool writePr01Configuration(link::Flow &flow, const ConfigBlock &block)
{
    if (!CheckPR01Device(flow))
        return false;
    // The host drive option is not the configuration window's: keep what the device has now.
    const std::optional<ConfigBlock> current = readBlock(flow);
    if (!current)
        return false;
    ConfigBlock written = block;
    written[kHostDriveOffset] = (*current)[kHostDriveOffset];
    if (!link::WriteXLTConfig(flow, flow.CmdPacket, written))
        return false;
    flow.tell(core::Icon::Information, "XLT PR01 configuration successfully save to XLT memory");
    return true;
}

bool startPr01Write(link::Operation &operation, core::Notifier &notifier, const Pr01Texts &boxes,
                    std::function<void(bool ok)> done)
{
    const EncodeResult encoded = encodeConfigBlock(boxes);
    if (!encoded.block) {
        notifier.message(core::Icon::Exclamation, encoded.error);
        return false;
    }
    return link::startForResult<bool>(
        operation, kWriteHolder,
        [block = *encoded.block](link::Flow &flow) { return writePr01Configuration(flow, block); },
        std::move(done));
}

} // namespace xlt::pr01
