#pragma once

// Device operations and their owners.
//
// Every piece of device work (an identity read, a monitor run, a configuration read or write,
// a detection, an update, the options) is one procedure: a function that takes a Flow and
// talks to the device from the first exchange to the last, top to bottom, the way the device
// sees it. An Operation, owned by a window or an xltctl command, runs the procedure as one job
// on the context's line and holds the device until it has ended. Whatever the procedure hands
// back (progress, results, messages) goes through the Flow to the owner's thread, in order,
// one delivery at a time.
//
// When the owner goes (Operation::cancel, or its destructor) the procedure ends at its next
// step: its exchange in flight gives up within a few milliseconds, it sends nothing more,
// closes the port if it opened it, and nothing more reaches the owner: no result, no message.
// A stop request (Operation::requestStop: the Stop and Abort buttons, an interrupt in xltctl)
// is the procedure's to honour at its own stopping point; it is never lost, also when it comes
// before the first exchange has been answered.

#include "DeviceContext.h"
#include "XLTPacket.h"
#include "core/Notifier.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace xlt::link {

class Operation;

/// What a procedure sees while it runs on the line. Not copyable; lives for one run.
class Flow
{
public:
    struct Shared;

    Flow(DeviceLine &line, LinkLibrary &link, PortSource &ports, std::shared_ptr<Shared> shared);
    ~Flow();
    Flow(const Flow &) = delete;
    Flow &operator=(const Flow &) = delete;

    /// The operation's own command record: its port settings, command and last reply.
    XLTPacket CmdPacket{};
    /// The port found by this operation's last port search; 0 for none.
    std::uint16_t XLTPortNumber = 0;

    LinkLibrary &link;
    PortSource &ports;

    /// True once the owner has gone or the program is ending: send nothing more.
    bool cancelled() const;
    /// True once the owner asked the procedure to stop at its stopping point.
    bool stopRequested() const;
    /// Waits `delay` on the line; false (cut short) once cancelled.
    bool pause(std::chrono::milliseconds delay);

    /// Runs `action` on the owner's thread after everything posted before it, unless the
    /// owner has gone by then. The action must own what it uses (copy the reply into it).
    void post(std::function<void()> action);
    /// A message for the user, shown by the owner's notifier in its turn among the posts.
    void tell(core::Icon icon, std::string text);
    /// The device search found the port `portNumber`: the owner hears of it in its turn among
    /// the posts (Operation::onPort).
    void portFound(std::uint16_t portNumber);

private:
    DeviceLine &m_line;
    std::shared_ptr<Shared> m_shared;
};

/// One device operation of an owner. Starting it runs the procedure as a job on the line;
/// the operation counts as running until the procedure has ended and everything it posted
/// has been delivered, or until it is cancelled.
class Operation
{
public:
    using Procedure = std::function<void(Flow &flow)>;

    explicit Operation(DeviceContext &context);
    /// Cancels a running operation.
    ~Operation();
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

    /// Runs `procedure` holding the device as `holderName`; `ended` runs on the owner's thread
    /// after the procedure's last post (not after a cancel). False, with nothing sent, while
    /// this operation runs, or when somebody else holds the device (the user is told). On a
    /// line that runs at once everything, `ended` included, has run when start() returns.
    bool start(const std::string &holderName, Procedure procedure,
               std::function<void()> ended = {});
    /// Asks the procedure to stop at its stopping point.
    void requestStop();
    /// The owner goes: the procedure ends at its next step, the device is released now, and
    /// nothing more is delivered.
    void cancel();
    bool running() const;

    /// From the next start on, `shown` hears on the owner's thread the port each device search
    /// of the procedure finds ("COM5"), in its turn among the posts, and "" when the operation
    /// has ended (not after a cancel: the owner is going). A window names the device it talks
    /// to while it talks.
    void onPort(std::function<void(const std::string &port)> shown)
    {
        m_portShown = std::move(shown);
    }

    /// Runs `action` on the owner's thread from the event loop, outside the delivery under way,
    /// unless the operation has been cancelled by then (at once on a line that runs at once).
    /// For a message box that must not hold back the deliveries behind it.
    void later(std::function<void()> action);

private:
    DeviceContext &m_context;
    std::shared_ptr<Flow::Shared> m_shared;
    std::function<void(const std::string &)> m_portShown;
};

/// Runs `procedure`, which returns a Result, as `operation`; `done` gets the result on the
/// owner's thread once the procedure has ended (never after a cancel). False as start().
template<typename Result>
bool startForResult(Operation &operation, const std::string &holderName,
                    std::function<Result(Flow &)> procedure, std::function<void(Result)> done)
{
    auto result = std::make_shared<std::optional<Result>>();
    return operation.start(
        holderName,
        [result, procedure = std::move(procedure)](Flow &flow) {
            Result value = procedure(flow);
            flow.post([result, value = std::move(value)]() mutable { *result = std::move(value); });
        },
        [result, done = std::move(done)] {
            if (*result && done)
                done(std::move(**result));
        });
}

/// Runs `procedure` as an operation of its own to the end and gives its result, for callers
/// whose line runs at once (xltctl, tests). Nothing when the operation was refused.
template<typename Result>
std::optional<Result> runToEnd(DeviceContext &context, const std::string &holderName,
                               std::function<Result(Flow &)> procedure)
{
    Operation operation(context);
    std::optional<Result> result;
    startForResult<Result>(operation, holderName, std::move(procedure),
                           [&result](Result value) { result = std::move(value); });
    return result;
}

} // namespace xlt::link
