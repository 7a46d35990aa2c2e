#pragma once

// Automatic configuration detection: the device looks for its PR01 configuration by itself
// while the window polls it every 100 ms and fetches each item the moment it is reported.
//
// Commands on the port that detection holds open from start to end:
//   20       start detection
//   22       status: ReplyData[0] holds the flags of the items found (1 version, 2 boot version,
//            4 currency assignment; 7 all three)
//   23, f    fetch item f: texts are ReplyData[1 .. ReplyLength-1]; the currency rows are
//            ReplyData[1..32], row r at 1 + 4r (code, country, denomination, exponent)
// Each step of a tick tests ReplyData[0] as it is at that moment: after a fetch earlier in the
// same tick that is the fetch reply's byte 0, not the status byte. Detection ends when that
// byte is exactly 7 or an abort was requested (after the tick's fetches), or when an exchange
// fails (RunXLTCommand has told the user and closed the port). A currency reply too short to
// hold the eight rows ends detection with a message; its rows are never filled from stale bytes.
//
// Every exchange goes through the context's line: start() and tick() report through `done`,
// at once on a line that runs at once, later on a worker line.

#include "ConfigBlock.h"
#include "core/Lifetime.h"
#include "link/DeviceContext.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace xlt::pr01 {

/// Receives each detected item as it is fetched.
class AutoDetectSink
{
public:
    virtual ~AutoDetectSink() = default;
    virtual void versionDetected(const std::string &text) = 0;
    virtual void bootVersionDetected(const std::string &text) = 0;
    virtual void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) = 0;
};

class AutoDetect
{
public:
    enum Item : std::uint8_t { Version = 1, BootVersion = 2, Currency = 4 };
    static constexpr std::uint8_t kAllItems = Version | BootVersion | Currency;
    static constexpr std::chrono::milliseconds kInterval{100};
    static constexpr const char *kHolderName = "automatic configuration detection";

    AutoDetect(link::DeviceContext &context, AutoDetectSink &sink);
    ~AutoDetect();
    AutoDetect(const AutoDetect &) = delete;
    AutoDetect &operator=(const AutoDetect &) = delete;

    /// Refuses while another window holds the device, checks the device (CheckPR01Device),
    /// opens the port (silently gives up when it does not open) and sends the start command.
    /// `done(true)` when polling has begun: the device is then held and the port open, and the
    /// caller arms its timer for kInterval. The device is held from the call on.
    void start(const std::function<void(bool started)> &done);

    /// One polling step. `done(true)` when the caller must arm the timer again; `done(false)`
    /// when detection is over (port closed, device released).
    void tick(const std::function<void(bool again)> &done);

    /// Requests the end of a running detection at the end of the next tick whose status
    /// command succeeds. No effect on a later detection: start() clears the request.
    void abort() { AbortAutoCfg = true; }

    /// Ends a running or starting detection at once and closes the port (the window is
    /// closing). Results still on their way are dropped.
    void stop();

    /// True from start() until detection is over (also while the start is under way).
    bool running() const { return m_hold.has_value(); }
    /// True from start() until its result is in.
    bool starting() const { return m_starting; }
    std::uint8_t itemsRead() const { return CfgItemsRead; }

private:
    using Done = std::function<void(bool)>;

    void send(std::uint8_t length, std::uint8_t code, std::uint8_t parameter, Done done);
    void started(bool ok, const Done &done);
    /// Fetches, from the item at `index` on, every item ReplyData[0] reports and not yet read.
    void fetchFrom(std::size_t index, const Done &done);
    void fetched(Item item, const Done &done);
    void finish(const Done &done);

    link::DeviceContext &m_context;
    AutoDetectSink &m_sink;
    std::optional<link::DeviceHold> m_hold;
    std::uint8_t CfgItemsRead = 0;
    bool AbortAutoCfg = false;
    bool m_starting = false;
    unsigned m_session = 0; ///< counts starts, so results of a stopped detection are dropped
    core::Lifetime m_lifetime;
};

} // namespace xlt::pr01
