#pragma once

#include "DeviceModel.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace xlt::sim {

/// Serves a DeviceModel on a pseudo-terminal, speaking the link's framing (link/Framing.h).
///
/// start() opens a pty pair, puts the slave in raw mode and keeps one descriptor of the slave
/// open for the server's whole life, so that clients may open and close the device path as
/// often as they like without the master ever seeing a hang-up. It registers the device path in
/// the emulator's port registry (unless `registryDir` is empty), so the link's port source lists
/// it as COM<129 + k>, and serves frames on a background thread.
///
/// A corrupted command is ignored (the host times out). When the device vanishes (a disconnect
/// fault), the server closes the pty, removes its registration and stops serving; unplugged
/// after a reply (DeviceOptions::unplugAfter), it removes the registration before the reply
/// and stops serving after it, and the pty closes with the server.
/// The destructor stops the thread, closes the pty and removes the registration.
class PtyServer
{
public:
    struct Settings
    {
        std::string registryDir; ///< empty: do not register
        std::string serial{};    ///< the port's USB serial number; empty: the registry's default
    };

    /// Starts serving. On failure returns null and sets `error` to a readable reason.
    static std::unique_ptr<PtyServer> start(DeviceOptions options, const Settings &settings,
                                            std::string &error);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    /// The pty slave that clients open, e.g. "/dev/pts/4".
    const std::string &devicePath() const { return m_devicePath; }
    /// 129 + the registry index, or 0 when not registered.
    int comPortNumber() const;
    /// True once the device has vanished and the server has stopped.
    bool disconnected() const { return m_gone.load(); }

    /// Runs `f(DeviceModel&)` under the server's lock, for inspecting or changing the device
    /// between exchanges.
    template<class F> decltype(auto) withModel(F &&f)
    {
        std::lock_guard lock(m_mutex);
        return std::forward<F>(f)(m_model);
    }

private:
    struct Registration;
    explicit PtyServer(DeviceOptions options);
    bool open(std::string &error);
    void serve();
    /// Answers a command whose last byte is on the device at `received` (paced lines wait
    /// for it).
    void answer(std::span<const std::uint8_t> command, std::uint8_t seq,
                Clock::time_point received);
    bool writeAll(std::span<const std::uint8_t> bytes);
    void vanish();

    DeviceModel m_model;
    std::mutex m_mutex;
    bool m_pace = false;
    int m_master = -1;
    int m_slave = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::string m_devicePath;
    std::unique_ptr<Registration> m_registration;
    std::atomic<bool> m_gone{false};
    std::thread m_thread;
};

} // namespace xlt::sim
