#pragma once

#include "OpenStep.h"
#include "UpdateFile.h"
#include "link/DeviceContext.h"
#include "link/Identity.h"
#include "link/Operation.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xlt::update {

inline const std::string kFirstStageText =
    "Please wait while first stage memory is copied - DO NOT DISCONNECT!";
inline const std::string kCompleteText = "Update complete";
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
    NotAnswered, ///< the device did not tell its identity (told as the exchange failed); nothing
                 ///< sent
    OtherDevice, ///< the device that answered is not the one shown; told, nothing sent
    BlockFailed, ///< a block was not accepted; label and bar emptied, later blocks not sent
};

struct UpdateOutcome
{
    UpdateResult result = UpdateResult::Refused;
    int failedBlock = -1; ///< the refused block (from 0) for BlockFailed
    /// The device's identity read after the last block (Complete), when it answered.
    std::optional<link::Identity> identityAfter;
};

/// The text that refuses a device other than the one shown.
std::string otherDeviceMessage(const SeenDevice &shown, const SeenDevice &found);

/// Sends an accepted image to the device as one operation, holding the device under
/// kHolderName throughout: finds the port, reads the device's identity just before the first
/// block and refuses, before anything is sent, a device other than the one the user was shown
/// (another port or another identity). Then one command 21 per block, in block order, with the
/// port opened and closed around each block; after block 255 the first-stage pause (kPauseTicks
/// periods of kPauseTick) on the line, so nothing waits on the owner's thread and a message box
/// open elsewhere does not hold the update back. No retries: the first refused block ends the
/// run (RunXLTCommand has shown its message when the device answered). After the last block
/// the identity is read once more, quietly, for the outcome.
class Updater
{
public:
    using Done = std::function<void(UpdateOutcome)>;
    /// The device as found just before the first block, and again after the last.
    using Seen =
        std::function<void(const SeenDevice &device, const std::vector<std::string> &lines)>;

    Updater(link::DeviceContext &context, ProgressSink &progress);

    /// Starts sending `image` (copied) to the device `shown` to the user. `seen` hears of the
    /// device found (also when it is refused as another), `done` gets the outcome when the run
    /// has ended (at once for a refusal, and on a line that runs at once). Refused while a run
    /// is going on.
    void start(const UpdateImage &image, const SeenDevice &shown, Seen seen, const Done &done);
    /// True from start() to the end of the run, the pause included.
    bool running() const { return m_operation.running(); }
    /// Ends the run at its next step and reports nothing more (the owner is going).
    void cancel() { m_operation.cancel(); }
    /// The port the run talks to, for the window's title (link::Operation::onPort).
    void onPort(std::function<void(const std::string &port)> shown)
    {
        m_operation.onPort(std::move(shown));
    }

private:
    UpdateOutcome runOnLine(link::Flow &flow, const UpdateImage &image, const SeenDevice &shown,
                            const Seen &seen);
    void end(const UpdateOutcome &outcome, const Done &done);

    ProgressSink &m_progress;
    link::DeviceContext &m_context;
    link::Operation m_operation; // last: ends before the members its deliveries use
};

} // namespace xlt::update
