#include "Updater.h"

#include "link/DeviceContext.h"
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

Updater::Updater(link::DeviceContext &context, ProgressSink &progress)
    : m_context(context)
    , m_progress(progress)
{}

void Updater::start(const UpdateImage &image, Done done)
{
    if (m_running || link::refuseWhileHeld(m_context))
        return done(UpdateOutcome{});
    if (!sendable(image)) {
        // Accepted files are always sendable; this guards images built by other means.
        m_context.notifier.message(core::Icon::Exclamation,
                                   "The update image is incomplete. Nothing was sent.");
        return done(UpdateOutcome{});
    }

    link::FindXLTPort(m_context);
    m_progress.setLabel({});
    if (m_context.XLTPortNumber == 0) {
        m_context.notifier.message(core::Icon::Exclamation, kNoDeviceText);
        return done(UpdateOutcome{UpdateResult::NoDevice, -1});
    }

    m_running = true;
    m_hold.emplace(m_context, kHolderName);
    m_image = std::make_shared<const UpdateImage>(image);
    m_done = std::move(done);
    m_progress.setBusy(true);
    m_progress.setMaximum(image.NumBlocks);
    sendBlock(0);
}

void Updater::sendBlock(int n)
{
    if (n == m_image->NumBlocks)
        return end(UpdateResult::Complete, -1);
    m_progress.setValue(n + 1);
    m_progress.setLabel(blockLabel(n, m_image->NumBlocks));
    // The request keeps the image alive by itself: the bytes are copied into the record at once.
    link::SendXLTUpdateBlock(m_context, m_image->FileData, static_cast<std::uint16_t>(n),
                             m_lifetime.guard([this, n](bool ok) { blockSent(n, ok); }));
}

void Updater::blockSent(int n, bool ok)
{
    if (!ok)
        return end(UpdateResult::BlockFailed, n);
    if (n + 1 == kFirstStageBlocks)
        return pause(kPauseTicks, n + 1);
    sendBlock(n + 1);
}

void Updater::pause(int ticksLeft, int next)
{
    if (ticksLeft == 0)
        return sendBlock(next);
    m_context.scheduler.after(
        kPauseTick, m_lifetime.guard([this, ticksLeft, next] { pause(ticksLeft - 1, next); }));
}

void Updater::end(UpdateResult result, int failedBlock)
{
    m_progress.setValue(0);
    m_running = false; // before the sink's busy state, which the window derives its buttons from
    m_progress.setBusy(false);
    m_progress.setLabel(result == UpdateResult::Complete ? kCompleteText : std::string());
    m_hold.reset();
    m_image.reset();
    Done done = std::move(m_done);
    m_done = {};
    if (done)
        done(UpdateOutcome{result, failedBlock});
}

} // namespace xlt::update
