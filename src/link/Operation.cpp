#include "Operation.h"

#include <deque>
#include <optional>
#include <utility>

namespace xlt::link {

/// The part of an operation that both threads see. The flags are atomic; everything else is
/// touched on the owner's thread only.
struct Flow::Shared
{
    explicit Shared(DeviceContext &deviceContext)
        : context(deviceContext)
    {}

    /// Runs `action` on the owner's thread unless cancelled, after the deliveries before it.
    /// A delivery that opens a message box (a nested event loop) holds back the ones behind
    /// it, so the owner sees everything in order and never inside another delivery.
    void deliver(std::function<void()> action)
    {
        queue.push_back(std::move(action));
        if (delivering)
            return;
        delivering = true;
        while (!queue.empty() && !cancelled) {
            std::function<void()> next = std::move(queue.front());
            queue.pop_front();
            next();
        }
        queue.clear();
        delivering = false;
    }

    /// The procedure has ended and its posts are delivered.
    void finish()
    {
        if (!running)
            return;
        running = false;
        hold.reset();
        if (portNamed && portShown)
            portShown({});
        std::function<void()> whenEnded = std::move(ended);
        if (whenEnded)
            whenEnded();
    }

    DeviceContext &context;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> stopRequested{false};

    std::deque<std::function<void()>> queue;
    bool delivering = false;
    bool running = true;
    std::optional<DeviceHold> hold;
    std::function<void()> ended;
    std::function<void(const std::string &)> portShown;
    bool portNamed = false; ///< portShown has been told a port
};

Flow::Flow(DeviceLine &line, LinkLibrary &deviceLink, PortSource &portSource,
           std::shared_ptr<Shared> shared)
    : link(deviceLink)
    , ports(portSource)
    , m_line(line)
    , m_shared(std::move(shared))
{
    link.setInterrupt([this] { return cancelled(); });
}

Flow::~Flow()
{
    link.setInterrupt({});
}

bool Flow::cancelled() const
{
    return m_shared->cancelled || m_line.stopping();
}

bool Flow::stopRequested() const
{
    return m_shared->stopRequested;
}

bool Flow::pause(std::chrono::milliseconds delay)
{
    return m_line.pause(delay, [this] { return cancelled(); }) && !cancelled();
}

void Flow::post(std::function<void()> action)
{
    if (cancelled())
        return;
    m_line.post([shared = m_shared, action = std::move(action)]() mutable {
        shared->deliver(std::move(action));
    });
}

void Flow::tell(core::Icon icon, std::string text)
{
    Shared *shared = m_shared.get(); // kept alive by the delivery that runs this
    post([shared, icon, text = std::move(text)] { shared->context.notifier.message(icon, text); });
}

void Flow::portFound(std::uint16_t portNumber)
{
    Shared *shared = m_shared.get(); // kept alive by the delivery that runs this
    post([shared, portNumber] {
        if (!shared->portShown)
            return;
        shared->portNamed = true;
        shared->portShown("COM" + std::to_string(portNumber));
    });
}

Operation::Operation(DeviceContext &context)
    : m_context(context)
{}

Operation::~Operation()
{
    cancel();
}

bool Operation::start(const std::string &holderName, Procedure procedure,
                      std::function<void()> ended)
{
    if (running() || refuseWhileHeld(m_context))
        return false;
    auto shared = std::make_shared<Flow::Shared>(m_context);
    // Held from before the first exchange: nothing else may use the port meanwhile.
    shared->hold.emplace(m_context, holderName);
    shared->ended = std::move(ended);
    shared->portShown = m_portShown;
    m_shared = shared;
    DeviceLine &line = m_context.line;
    PortSource &ports = m_context.ports;
    line.submit([&line, &ports, shared, procedure = std::move(procedure)](LinkLibrary &link) {
        if (!shared->cancelled && !line.stopping()) {
            Flow flow(line, link, ports, shared);
            procedure(flow);
        }
        line.post([shared] { shared->deliver([shared] { shared->finish(); }); });
    });
    return true;
}

void Operation::requestStop()
{
    if (m_shared)
        m_shared->stopRequested = true;
}

void Operation::cancel()
{
    if (!m_shared)
        return;
    m_shared->cancelled = true;
    m_shared->running = false;
    m_shared->hold.reset();
    m_shared->ended = {};
    m_shared.reset();
}

bool Operation::running() const
{
    return m_shared && m_shared->running;
}

void Operation::later(std::function<void()> action)
{
    m_context.line.post(
        [shared = std::weak_ptr<Flow::Shared>(m_shared), action = std::move(action)] {
            const auto alive = shared.lock();
            if (alive && !alive->cancelled)
                action();
        });
}

} // namespace xlt::link
