#pragma once

#include "UpdateFile.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace xlt::link {
struct DeviceContext;
class Flow;
class Operation;
} // namespace xlt::link

namespace xlt::update {

/// The text panel of the update window (or the command-line tool's output): each print is one
/// line below the last.
class Panel
{
public:
    virtual ~Panel() = default;
    virtual void clear() = 0;
    virtual void print(const std::string &line) = 0;
};

/// The device as the user was shown it: the port it answered on, as describePort names it,
/// and its whole identity text. Empty when no device answered.
struct SeenDevice
{
    std::string port;
    std::string identity;
    bool operator==(const SeenDevice &) const = default;
};

struct OpenStepResult
{
    enum class Kind {
        Unchanged, ///< the file could not be read, or was empty: nothing was touched
        Refused,   ///< the panel was cleared and the file not accepted (told when not silent)
        Accepted   ///< `image` holds the file; the panel shows its identity (and the device's)
    };
    Kind kind = Kind::Unchanged;
    /// Why the file could not be read (Unchanged); empty when it was read (and empty).
    std::string unreadable;
    FileCheck check = FileCheck::Empty; ///< the file's verdict (Empty also when unreadable)
    std::optional<UpdateImage> image;
    /// The connected device's identity lines; empty when it was not found or did not answer.
    std::vector<std::string> targetLines;
    /// The device those lines are of (empty with them).
    SeenDevice device;
};

/// The open step for the file at `path` (the name the user chose): reads it whole, clears the
/// panel, checks it (messages through the context's notifier name the file), prints the file's
/// four identity lines, then, as `operation`, looks for the device and, when it answers
/// command 16, hands its five lines to `done` in `targetLines` for the caller to print below
/// them. A missing or silent device is not a failure here. When another user holds the device,
/// the file is still accepted but the device is not asked (the user is told why). `done` runs
/// on the caller's thread once the device has answered, or at once when it is not asked; not
/// at all when the operation is cancelled first.
void runOpenStep(link::Operation &operation, link::DeviceContext &context, Panel &panel,
                 const std::filesystem::path &path,
                 const std::function<void(OpenStepResult)> &done);

/// On the line: finds the device and reads its identity (command 16, firmware with its point).
/// Empty when no device was found (the flow's XLTPortNumber is then 0) or it did not answer
/// (told as RunXLTCommand tells).
std::pair<SeenDevice, std::vector<std::string>> lookAtDevice(link::Flow &flow);

} // namespace xlt::update
