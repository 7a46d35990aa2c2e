#pragma once

// The emulated XLT device: what it answers to each command, its stored configuration block, the
// firmware image it receives, its automatic configuration detection and the traffic it captures
// on its two ports. It knows nothing of the serial line: PtyServer frames its replies,
// InProcessLink hands them straight to a link record.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xlt::sim {

using Clock = std::chrono::steady_clock;

/// Result codes the device puts in the STATUS byte of a reply.
constexpr std::uint8_t kStatusAccepted = 3;
constexpr std::uint8_t kStatusRefused = 4;

constexpr std::size_t kBlockSize = 128;    ///< configuration block and update block, bytes
constexpr std::size_t kMaxReplyData = 255; ///< data bytes in one reply
constexpr std::size_t kHostDriveOffset = 112;

using ConfigBlock = std::array<std::uint8_t, kBlockSize>;
using ImageBlock = std::array<std::uint8_t, kBlockSize>;

/// How much the device's two ports talk while capture is on.
enum class TrafficLevel {
    Quiet,  ///< idle polling on both ports, no notes
    Normal, ///< idle polling, and a note accepted every few seconds
    Flood   ///< a backlog that fills every capture-read reply to 255 bytes
};

/// A fault applied to every command, or only to those with `DeviceOptions::faultCode`.
enum class Fault {
    None,
    NoReply,       ///< the device stays silent (the link times out)
    BadCrc,        ///< the reply frame's CRC is wrong
    GarbageBefore, ///< stray bytes on the line, then the valid reply
    GarbageOnly,   ///< stray bytes on the line and no reply frame
    NoiseBefore,   ///< noise with frame starts in it ("7F 7F", "7F 01 05 03 7F"), then the reply
    FailStatus     ///< a reply with status `failStatus`
};

/// The eight currency rows and two texts that automatic detection reports (commands 22/23).
struct DetectedConfig
{
    std::string version = "ID003 V2.10 AUTO-DETECTED";
    std::string bootVersion = "BOOT V2.01";
    /// Row r at 4r: code, country, denomination, exponent.
    std::array<std::uint8_t, 32> currency{0x61, 0x02, 0x05, 0x00, 0x62, 0x02, 0x0A, 0x00,
                                          0x63, 0x02, 0x14, 0x00, 0x64, 0x02, 0x32, 0x00,
                                          0x65, 0x02, 0x64, 0x00, 0x66, 0x02, 0x02, 0x02,
                                          0x67, 0x02, 0x05, 0x02, 0x68, 0x02, 0x0A, 0x02};
};

/// Every behaviour and fault switch of the emulated device. A plain value: copy it, change it,
/// hand it to DeviceModel, or change the live one through DeviceModel::options(). `identity`,
/// `statePath` and `initialBlock` are read when the model is made, the traffic switches at each
/// capture start, everything else at each command.
struct DeviceOptions
{
    // Identity and stored configuration.
    std::string identity = "PR01 01230001"; ///< reply to 16, one byte per character
    /// File that keeps the configuration block across restarts; empty keeps it in memory only.
    std::string statePath;
    /// Block used when there is no state file (or it is unreadable); unset: the built-in one.
    std::optional<ConfigBlock> initialBlock;

    // Traffic capture.
    TrafficLevel traffic = TrafficLevel::Normal;
    bool strayBytes = false; ///< stray non-tag bytes between capture records
    std::uint32_t trafficSeed = 1;
    /// Every Nth captured frame (counted over both sides) carries a wrong CRC; 0: none.
    std::uint32_t badCrcEvery = 0;

    // Automatic configuration detection.
    bool detectAllAtOnce = false;   ///< report every item at the first status, not one per status
    bool fetchReportsAll = false;   ///< byte 0 of a fetch reply is 7, not the item's own flag
    std::uint8_t detectTarget = 7;  ///< flags the status reaches in the end (3 or 15 never end)
    bool detectStatusFails = false; ///< command 22 is answered with status `failStatus`
    DetectedConfig detected;

    // Firmware update.
    std::optional<int> refuseBlock;                 ///< block number answered with status 4
    std::optional<int> disconnectAtBlock;           ///< the device vanishes when this block arrives
    std::optional<int> timeoutAtBlock;              ///< no reply to this block
    std::chrono::milliseconds firstStageCopy{2800}; ///< refusal window after block 255
    /// Blocks in a whole firmware image. The device puts a new image in use (its identity from
    /// block 15 changes) only once that many blocks have arrived in order, at the next command
    /// that is not an update block; an update stopped part way leaves the old image in use.
    int imageBlocks = 300;

    // Line faults.
    Fault fault = Fault::None;
    std::optional<std::uint8_t> faultCode; ///< apply `fault` only to this command code
    std::uint8_t failStatus = kStatusRefused;
    /// Answer this many commands, then vanish at the next one (0: never).
    int disconnectAfter = 0;
    /// Answer this many commands, then vanish between the last reply and the next command, as
    /// a device unplugged between two exchanges: the host's next open finds no port (0: never).
    int unplugAfter = 0;
    /// A completed update leaves the identity as it was (a firmware that did not take).
    bool keepIdentity = false;
    bool unplugged = false; ///< the port cannot be opened (InProcessLink)
    bool pace9600 = false;  ///< both ways at about 1.04 ms a byte, as at 9600 baud (PtyServer)
};

/// What the device does with one command.
struct Response
{
    enum class Kind {
        Reply,     ///< a reply frame with `status` and `data`
        NoReply,   ///< silence
        BadCrc,    ///< a reply frame whose CRC is wrong
        Garbage,   ///< stray bytes only
        Disconnect ///< the device vanishes; nothing is answered from now on
    };
    Kind kind = Kind::Reply;
    std::uint8_t status = kStatusAccepted;
    std::vector<std::uint8_t> data; ///< at most kMaxReplyData bytes
    bool garbageBefore = false;     ///< Reply only: stray bytes (or noise) precede the frame
    bool thenVanish = false;        ///< the device vanishes once this is answered (unplugAfter)
};

class TrafficModel;

/// The device. Not thread-safe: PtyServer serialises access with its own lock.
///
/// Commands (byte 0 the code; a wrong length or an unknown code is refused with status 4):
///   1 capture-read, 2 [1]=1 capture-start ([1]=0 stops), 16 identity, 17 read block,
///   18 write block (129 bytes), 20 start detection, 21 update block (131 bytes),
///   22 detection status, 23 [1]=1|2|4 fetch a detected item.
class DeviceModel
{
public:
    explicit DeviceModel(DeviceOptions options = {});
    ~DeviceModel();
    DeviceModel(const DeviceModel &) = delete;
    DeviceModel &operator=(const DeviceModel &) = delete;

    /// Answers one command received at `now`. `now` drives the first-stage copy window and the
    /// capture clock, so tests pass made-up times instead of sleeping.
    Response handle(std::span<const std::uint8_t> command, Clock::time_point now);

    DeviceOptions &options() { return m_options; }
    const DeviceOptions &options() const { return m_options; }

    const ConfigBlock &configBlock() const { return m_block; }
    /// The identity text the device reports now (changes after a complete update image).
    const std::string &identity() const { return m_identity; }
    void setIdentity(std::string identity) { m_identity = std::move(identity); }
    /// The blocks of the image in progress (or the last one), in block order.
    const std::vector<ImageBlock> &updateBlocks() const { return m_image; }
    bool captureOn() const { return m_captureOn; }
    /// True once the device has vanished (a disconnect fault); it then answers nothing.
    bool disconnected() const { return m_disconnected; }
    /// Brings a vanished device back, as if plugged in again (state and image kept).
    void replug()
    {
        m_disconnected = false;
        m_commandCount = 0;
    }
    /// Commands received so far, the ones that were refused included.
    int commandCount() const { return m_commandCount; }
    /// Set when the state file could not be written; empty otherwise.
    const std::string &stateError() const { return m_stateError; }

private:
    Response dispatch(std::span<const std::uint8_t> command, Clock::time_point now);
    std::optional<Response> lineFault(std::uint8_t code);
    Response captureStart(std::span<const std::uint8_t> command, Clock::time_point now);
    Response captureRead(std::span<const std::uint8_t> command, Clock::time_point now);
    Response writeBlock(std::span<const std::uint8_t> command);
    Response updateBlock(std::span<const std::uint8_t> command, Clock::time_point now);
    Response detectStart(std::span<const std::uint8_t> command);
    Response detectStatus(std::span<const std::uint8_t> command);
    Response detectFetch(std::span<const std::uint8_t> command);
    void completeImage();

    DeviceOptions m_options;
    ConfigBlock m_block{};
    std::string m_identity;
    std::string m_stateError;

    std::vector<ImageBlock> m_image;
    bool m_imageClosed = false; ///< lost a block, or already in use: takes no more blocks
    std::optional<Clock::time_point> m_copyUntil;

    bool m_captureOn = false;
    std::unique_ptr<TrafficModel> m_traffic;

    bool m_detecting = false;
    int m_detectPolls = 0;
    std::uint8_t m_detectFound = 0;

    bool m_disconnected = false;
    int m_commandCount = 0;
};

/// The block a fresh device holds: a version text, a boot version text, eight currency rows
/// with the codes 61..68, host drive option 0 (TTL RS232).
ConfigBlock defaultConfigBlock();

} // namespace xlt::sim
