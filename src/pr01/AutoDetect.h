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
// Detection is one operation: its exchanges run on the context's line, one poll every 100 ms
// after the previous one has ended, and each item reaches the sink on the owner's thread.

#include "ConfigBlock.h"
#include "link/DeviceContext.h"
#include "link/Operation.h"

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
    /// Stops a running detection (see stop()).
    ~AutoDetect();
    AutoDetect(const AutoDetect &) = delete;
    AutoDetect &operator=(const AutoDetect &) = delete;

    /// Refuses while another window holds the device (told), then runs detection: checks the
    /// device (CheckPR01Device), opens the port (silently gives up when it does not open),
    /// sends the start command and polls. `started(true)` once polling has begun (the port is
    /// open), `started(false)` when it did not begin; `ended` when detection is over (port
    /// closed, device released). False when it did not start at all (refused or running).
    bool start(std::function<void(bool started)> started, std::function<void()> ended);

    /// The Abort button: detection ends after the fetches of its next poll whose status
    /// command succeeds. Counts from the moment start() is called, also before the device has
    /// answered the start.
    void abort() { m_operation.requestStop(); }

    /// The port detection talks to, for the window's title (link::Operation::onPort).
    void onPort(std::function<void(const std::string &port)> shown)
    {
        m_operation.onPort(std::move(shown));
    }

    /// Ends a running or starting detection at once and closes the port (the window is
    /// closing): nothing more is sent or reported.
    void stop() { m_operation.cancel(); }

    /// True from start() until detection is over (also while the start is under way).
    bool running() const { return m_operation.running(); }
    /// True from start() until the start's result is in.
    bool starting() const { return running() && m_starting; }
    std::uint8_t itemsRead() const { return CfgItemsRead; }

private:
    void runOnLine(link::Flow &flow);
    /// Fetches, from the item at `index` on, every item ReplyData[0] reports and not yet read.
    /// False when detection must end (a failed exchange or a short currency reply).
    bool fetchReported(link::Flow &flow, std::uint8_t &itemsRead);
    bool fetched(link::Flow &flow, Item item);

    AutoDetectSink &m_sink;
    std::uint8_t CfgItemsRead = 0;
    bool m_starting = false;
    std::function<void(bool)> m_started;
    link::Operation m_operation; // last: ends before the members its deliveries use
};

} // namespace xlt::pr01
