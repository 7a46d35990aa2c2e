#include "Pr01Device.h"

#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <span>

namespace xlt::pr01 {

bool CheckPR01Device(link::DeviceContext &context)
{
    if (link::FindXLTPort(context) == 0) {
        context.notifier.message(core::Icon::Exclamation, "No XLT device detected");
        return false;
    }
    if (!link::ReadXLTVersion(context, context.CmdPacket))
        return false;
    const std::string identity = link::replyText(context.CmdPacket);
    if (identity.starts_with("PR01") || identity.starts_with("ID003"))
        return true;
    context.notifier.message(core::Icon::Exclamation,
                             "XLT Firmware " + identity + " is not PR01 compatable.");
    return false;
}

bool readPr01Configuration(link::DeviceContext &context, Pr01Texts &boxes)
{
    if (link::refuseWhileHeld(context) || !CheckPR01Device(context))
        return false;
    if (!link::ReadXLTConfig(context, context.CmdPacket))
        return false;
    // The block is read at its fixed places whatever ReplyLength says.
    boxes = decodeConfigBlock(std::span<const std::uint8_t, kBlockSize>(
        context.CmdPacket.ReplyData, kBlockSize));
    return true;
}

bool writePr01Configuration(link::DeviceContext &context, const Pr01Texts &boxes)
{
    if (link::refuseWhileHeld(context))
        return false;
    const EncodeResult encoded = encodeConfigBlock(boxes);
    if (!encoded.block) {
        context.notifier.message(core::Icon::Exclamation, encoded.error);
        return false;
    }
    if (!CheckPR01Device(context))
        return false;
    if (!link::WriteXLTConfig(context, context.CmdPacket, *encoded.block))
        return false;
    context.notifier.message(core::Icon::Information,
                             "XLT PR01 configuration successfully save to XLT memory");
    return true;
}

} // namespace xlt::pr01
