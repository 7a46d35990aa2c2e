#include "Updater.h"

#include "link/DeviceContext.h"
#include "link/Operation.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

namespace xlt::update {

namespace {

bool sendable(const UpdateImage &image)
{
    if (image.NumBlocks < 1 || image.NumBlocks > kMaximumBlocks)
        return false;
    return image.FileData.size() >=
           kHeaderBytes + kBlockBytes * static_cast<std::size_t>(image.NumBlocks);
}

} // namespace

std::string blockLabel(int n, int numBlocks)
{
    if (n + 1 == kFirstStageBlocks)
        return kFirstStageText;
    return "Updating XLT - Block " + std::to_string(n + 1) + " of " + std::to_string(numBlocks);
}

std::string otherDeviceMessage(const SeenDevice &shown, const SeenDevice &found)
{
    const std::string before =
        shown.port.empty() ? std::string("no XLT device") : "the XLT device on " + shown.port;
    return "The XLT device on " + found.port + " is not the one shown when the file was opened (" +
           before +
           "). Its identity is shown now; nothing was sent. Check it, then press Run "
           "Update again to update it.";
}

Updater::Updater(link::DeviceContext &context, ProgressSink &progress)
    : m_progress(progress)
    , m_context(context)
    , m_operation(context)
{}

void Updater::start(const UpdateImage &image, const SeenDevice &shown, Seen seen, const Done &done)
{
    if (running())
        return done(UpdateOutcome{});
    if (!sendable(image)) {
        // Accepted files are always sendable; this guards images built by other means.
        m_context.notifier.message(core::Icon::Exclamation,
                                   "The update image is incomplete. Nothing was sent.");
        return done(UpdateOutcome{});
    }
    m_progress.setLabel({});
    m_progress.setMaximum(image.NumBlocks);
    auto outcome = std::make_shared<UpdateOutcome>();
    // Busy before the start: on a line that runs at once the run has ended when it returns.
    m_progress.setBusy(true);
    const bool launched = m_operation.start(
        kHolderName,
        [this, image, shown, seen = std::move(seen), outcome](link::Flow &flow) {
            UpdateOutcome result = runOnLine(flow, image, shown, seen);
            flow.post([outcome, result = std::move(result)] { *outcome = result; });
        },
        [this, outcome, done] { end(*outcome, done); });
    if (!launched) {
        m_progress.setBusy(false);
        return done(UpdateOutcome{});
    }
}

namespace {

/// Command 16 without a word when it fails: after an update the device may be restarting.
std::optional<link::Identity> identityQuietly(link::Flow &flow)
{
    link::XLTPacket &packet = flow.CmdPacket;
    if (flow.cancelled() || flow.link.OpenXLTComPort(packet) == 0)
        return std::nullopt;
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdReadVersion;
    flow.link.XLTSendCommand(packet);
    flow.link.CloseXLTComPort();
    if (packet.ReplyStatus != link::ReplyOk)
        return std::nullopt;
    return link::parseIdentity(std::span(packet.ReplyData, packet.ReplyLength),
                               link::FirmwareStyle::WithPoint);
}

} // namespace

// On the line. The image and the device shown are the run's own copies.
UpdateOutcome Updater::runOnLine(link::Flow &flow, const UpdateImage &image,
                                 const SeenDevice &shown, const Seen &seen)
{
    const auto [found, lines] = lookAtDevice(flow);
    if (flow.XLTPortNumber == 0) {
        flow.tell(core::Icon::Exclamation, link::kNoDeviceText);
        return {UpdateResult::NoDevice, -1, {}};
    }
    if (lines.empty())
        return {UpdateResult::NotAnswered, -1, {}};
    if (seen)
        flow.post([seen, found = found, lines = lines] { seen(found, lines); });
    if (found != shown) {
        flow.tell(core::Icon::Exclamation, otherDeviceMessage(shown, found));
        return {UpdateResult::OtherDevice, -1, {}};
    }
    for (int n = 0; n < image.NumBlocks; ++n) {
        flow.post([this, n, blocks = image.NumBlocks] {
            m_progress.setValue(n + 1);
            m_progress.setLabel(blockLabel(n, blocks));
        });
        if (!link::SendXLTUpdateBlock(flow, flow.CmdPacket, image.FileData,
                                      static_cast<std::uint16_t>(n)))
            return {UpdateResult::BlockFailed, n, {}};
        if (n + 1 == kFirstStageBlocks) {
            for (int tick = 0; tick < kPauseTicks; ++tick) {
                if (!flow.pause(kPauseTick))
                    return {UpdateResult::BlockFailed, n + 1, {}};
            }
        }
    }
    UpdateOutcome complete{UpdateResult::Complete, -1, identityQuietly(flow)};
    if (complete.identityAfter && seen) {
        SeenDevice after{found.port, link::replyText(flow.CmdPacket)};
        flow.post([seen, after, lines = link::targetIdentityLines(*complete.identityAfter)] {
            seen(after, lines);
        });
    }
    return complete;
}

void Updater::end(const UpdateOutcome &outcome, const Done &done)
{
    m_progress.setValue(0);
    m_progress.setBusy(false);
    m_progress.setLabel(outcome.result == UpdateResult::Complete ? kCompleteText : std::string());
    if (done)
        done(outcome);
}

} // namespace xlt::update
