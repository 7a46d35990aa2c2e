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

/// Clears a flag when the run ends, however it ends.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &m_flag;
};

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

UpdateOutcome Updater::run(const UpdateImage &image)
{
    UpdateOutcome outcome;
    if (m_running || link::refuseWhileHeld(m_context))
        return outcome;
    if (!sendable(image)) {
        // Accepted files are always sendable; this guards images built by other means.
        m_context.notifier.message(core::Icon::Exclamation,
                                   "The update image is incomplete. Nothing was sent.");
        return outcome;
    }

    link::FindXLTPort(m_context);
    m_progress.setLabel({});
    if (m_context.XLTPortNumber == 0) {
        m_context.notifier.message(core::Icon::Exclamation, kNoDeviceText);
        outcome.result = UpdateResult::NoDevice;
        return outcome;
    }

    const RunningFlag running(m_running);
    const link::DeviceHold hold(m_context, kHolderName);
    m_progress.setBusy(true);
    m_progress.setMaximum(image.NumBlocks);
    if (sendAll(image, outcome)) {
        outcome.result = UpdateResult::Complete;
        finish(kCompleteText);
    } else {
        outcome.result = UpdateResult::BlockFailed;
        finish({});
    }
    return outcome;
}

bool Updater::sendAll(const UpdateImage &image, UpdateOutcome &outcome)
{
    for (int n = 0; n < image.NumBlocks; ++n) {
        m_progress.setValue(n + 1);
        m_progress.setLabel(blockLabel(n, image.NumBlocks));
        m_context.pump.processEvents();
        if (!link::SendXLTUpdateBlock(m_context, m_context.CmdPacket, image.FileData,
                                      static_cast<std::uint16_t>(n))) {
            outcome.failedBlock = n;
            return false;
        }
        if (n + 1 == kFirstStageBlocks) {
            for (int tick = 0; tick < kPauseTicks; ++tick)
                m_context.pump.pumpFor(kPauseTick);
        }
    }
    return true;
}

void Updater::finish(const std::string &label)
{
    m_progress.setValue(0);
    m_progress.setBusy(false);
    m_progress.setLabel(label);
}

} // namespace xlt::update
