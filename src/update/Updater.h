#pragma once

#include "UpdateFile.h"
#include "core/Lifetime.h"
#include "link/DeviceContext.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace xlt::update {

inline const std::string kFirstStageText =
    "Please wait while first stage memory is copied - DO NOT DISCONNECT!";
inline const std::string kCompleteText = "Update complete";
inline const std::string kNoDeviceText = "No XLT device detected";
/// The name under which an update holds the device (other users are told "... in use by the
/// firmware update ...").
inline const std::string kHolderName = "firmware update";

/// Blocks 0 to 255 are the first stage; after block 255 the device copies them while the tool
/// waits kPauseTicks periods of kPauseTick.
constexpr int kFirstStageBlocks = 256;
constexpr int kPauseTicks = 3;
constexpr std::chrono::milliseconds kPauseTick{1000};

/// The progress text while block n (from 0) of numBlocks is under way: "Updating XLT - Block
/// <n + 1> of <numBlocks>", or the first-stage text for the 256th block (n = 255).
std::string blockLabel(int n, int numBlocks);

/// Where an update shows its progress: the window's label, bar and mouse pointer, or the
/// command-line tool's progress line.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    virtual void setLabel(const std::string &text) = 0;
    virtual void setMaximum(int maximum) = 0;
    /// 0 when idle; n + 1 while block n is under way.
    virtual void setValue(int value) = 0;
    /// The hourglass pointer while true.
    virtual void setBusy(bool busy) = 0;
};

enum class UpdateResult {
    Complete, ///< every block accepted; the label reads "Update complete"
    NoDevice, ///< no device port found; "No XLT device detected" shown, nothing sent
    Refused,  ///< another user holds the device, or the image is not sendable; told, nothing sent
    BlockFailed, ///< a block was not accepted; label and bar emptied, later blocks not sent
};

struct UpdateOutcome
{
    UpdateResult result = UpdateResult::Refused;
    int failedBlock = -1; ///< the refused block (from 0) for BlockFailed
};

/// Sends an accepted image to the device, one command 21 per block, in block order, through
/// the context's shared CmdPacket, with the port opened and closed around each block. Each
/// block is a request on the context's line; the next block is sent when the previous one's
/// result is in, and after block 255 the context's scheduler times the first-stage pause
/// (kPauseTicks periods of kPauseTick), so nothing waits on the caller's thread and a message
/// box open elsewhere does not hold the update back. The device is held under kHolderName for
/// the whole run. No retries: the first refused block ends the run (RunXLTCommand has shown its
/// message when the device answered).
class Updater
{
public:
    using Done = std::function<void(UpdateOutcome)>;

    Updater(link::DeviceContext &context, ProgressSink &progress);

    /// Starts sending `image` (copied); `done` gets the outcome when the run has ended (at once
    /// for a refusal, and on a line that runs at once). Refused while a run is going on.
    void start(const UpdateImage &image, Done done);
    /// True from start() to the end of the run, the pause included.
    bool running() const { return m_running; }

private:
    void sendBlock(int n);
    void blockSent(int n, bool ok);
    void pause(int ticksLeft, int next);
    void end(UpdateResult result, int failedBlock);

    link::DeviceContext &m_context;
    ProgressSink &m_progress;
    bool m_running = false;
    std::shared_ptr<const UpdateImage> m_image;
    std::optional<link::DeviceHold> m_hold;
    Done m_done;
    core::Lifetime m_lifetime;
};

} // namespace xlt::update
