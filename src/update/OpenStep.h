#pragma once

#include "UpdateFile.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace xlt::link {
struct DeviceContext;
}

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

struct OpenStepResult
{
    enum class Kind {
        Unchanged, ///< the file could not be read, or was empty: nothing was touched
        Refused,   ///< the panel was cleared and the file not accepted (told when not silent)
        Accepted   ///< `image` holds the file; the panel shows its identity (and the device's)
    };
    Kind kind = Kind::Unchanged;
    FileCheck check = FileCheck::Empty; ///< the file's verdict (Empty also when unreadable)
    std::optional<UpdateImage> image;
    /// The connected device's identity lines; empty when it was not found or did not answer.
    std::vector<std::string> targetLines;
};

/// The open step for the file at `path` (the name the user chose): reads it whole, clears the
/// panel, checks it (messages through the context's notifier name the file), prints the file's
/// four identity lines, then looks for the device and, when it answers command 16, hands its
/// five lines to `done` in `targetLines` for the caller to print below them (the device may
/// answer after the panel has gone). A missing or silent device is not a failure here. When
/// another user holds the device, the file is still accepted but the device is not asked (the
/// user is told why). `done` runs once the device has answered, or at once when it is not
/// asked.
void runOpenStep(link::DeviceContext &context, Panel &panel, const QString &path,
                 std::function<void(OpenStepResult)> done);

} // namespace xlt::update
