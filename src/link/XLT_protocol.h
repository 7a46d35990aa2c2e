#pragma once

// One command/reply transaction with the device and the procedures that wrap the device's
// commands in open-command-close. Everything works on the caller's record (normally the shared
// DeviceContext::CmdPacket) and reaches the device through DeviceContext::link.

#include "DeviceContext.h"
#include "XLTPacket.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace xlt::link {

/// Device command codes (CommandData[0]).
constexpr std::uint8_t kCmdCaptureRead = 1;  ///< length 1; reply: traffic records
constexpr std::uint8_t kCmdCaptureStart = 2; ///< length 2; [1] = 1
constexpr std::uint8_t kCmdReadVersion = 16; ///< length 1; reply: the identity text
constexpr std::uint8_t kCmdReadConfig = 17;  ///< length 1; reply: 128 configuration bytes
constexpr std::uint8_t kCmdWriteConfig = 18; ///< length 129; [1..128] = configuration
constexpr std::uint8_t kCmdDetectStart = 20; ///< length 1; starts automatic detection
constexpr std::uint8_t kCmdUpdateBlock = 21; ///< length 131; [1..2] block, low byte first
constexpr std::uint8_t kCmdDetectPoll = 22;  ///< length 1; detection progress flags
constexpr std::uint8_t kCmdDetectFetch = 23; ///< length 2; [1] = 1, 2 or 4

/// Bytes of configuration carried by commands 17 and 18, and of image carried by command 21.
constexpr std::size_t kConfigBlockSize = 128;
constexpr std::size_t kUpdateBlockSize = 128;

/// The word of a result code: 0 "COM PORT CLOSED" ... 5 "COMMAND TIME_OUT"; empty for any
/// other code.
std::string ReplyStatusText(std::uint8_t code);

// The forms that take a record run synchronously: they need a line whose link is on the
// caller's thread (InlineLine: xltctl and tests); on any other line they do nothing and return
// 0 or false.

/// Opens the port named by packet.PortNumber with packet.BaudRate and packet.Timeout.
/// Nonzero when open. When the port exists but cannot be opened (no permission, held by
/// another program) the user is told why and what to do; a port that has vanished fails
/// silently. Every procedure below that opens the port does the same.
std::int16_t OpenXLTComPort(DeviceContext &context, XLTPacket &packet);

/// Closes the open port (no effect when closed). The record is left alone. On a worker line the
/// close is queued behind the requests already submitted.
void CloseXLTComPort(DeviceContext &context);

/// One exchange on an open port: sends CommandLength bytes of CommandData and waits for the
/// reply. True when the result code is ReplyOk (ReplyLength/ReplyData hold the reply; the port
/// stays open). Otherwise shows "XLT Command transmission error " + ReplyStatusText(code)
/// (exclamation), closes the port and returns false.
bool RunXLTCommand(DeviceContext &context, XLTPacket &packet);

// The open-command-close procedures. PortNumber, BaudRate and Timeout must be set already.
// Each returns false when the port does not open (told as OpenXLTComPort), false after
// RunXLTCommand's message when the exchange fails (port closed), and true with the reply in the
// record and the port closed. Bytes of CommandData beyond CommandLength keep what they held.

/// Command 16. On true the identity text is ReplyData[0..ReplyLength).
bool ReadXLTVersion(DeviceContext &context, XLTPacket &packet);
/// Command 17. On true the configuration block is ReplyData[0..127].
bool ReadXLTConfig(DeviceContext &context, XLTPacket &packet);
/// Command 18 carrying `config` in CommandData[1..128].
bool WriteXLTConfig(DeviceContext &context, XLTPacket &packet,
                    std::span<const std::uint8_t, kConfigBlockSize> config);
/// Command 21 for block `block`: CommandData[1] = block low byte, [2] = high byte,
/// [3..130] = image[128 * (block + 1) ...], 128 bytes (the image's first 128 bytes are never
/// sent). Returns false without opening the port or sending anything, and without a message,
/// when the image does not hold that block (image.size() < 128 * (block + 2)).
bool SendXLTUpdateBlock(DeviceContext &context, XLTPacket &packet,
                        std::span<const std::uint8_t> image, std::uint16_t block);

// The same procedures as requests on the context's line, for callers that must not wait (the
// windows): each works on context.CmdPacket, copies the record back into it once the line has
// run it, shows the same message as its synchronous form, and then calls `done` on the calling
// thread with the same result. With a line that runs at once (InlineLine) `done` has run when
// the call returns; with a LineWorker it runs later, from the event loop. No other exchange may
// be started on the record until `done` has run: hold the device (DeviceHold) across a series.

/// What a request reports: true when it did what it was asked.
using Completion = std::function<void(bool ok)>;

/// Opens the port; ok when it opened (a failure is told as OpenXLTComPort's).
void OpenXLTComPort(DeviceContext &context, Completion done);
/// RunXLTCommand on an open port; on failure the line closes the port before `done` runs.
void RunXLTCommand(DeviceContext &context, Completion done);
void ReadXLTVersion(DeviceContext &context, Completion done);
void ReadXLTConfig(DeviceContext &context, Completion done);
void WriteXLTConfig(DeviceContext &context, std::span<const std::uint8_t, kConfigBlockSize> config,
                    Completion done);
/// Refuses a block the image does not hold as its synchronous form does: `done(false)` at once.
void SendXLTUpdateBlock(DeviceContext &context, std::span<const std::uint8_t> image,
                        std::uint16_t block, Completion done);

/// The device's protocol code for a protocol name: "TH001" "PR00", "ID003" "PR01",
/// "NT001" "PR03", "ID300" "PR04", "AD001" "PR05". Exact, case-sensitive; any other text comes
/// back unchanged.
std::string ProtocolNameToCode(const std::string &name);

/// The reply as text, one character per byte: ReplyData[0..ReplyLength).
std::string replyText(const XLTPacket &packet);

} // namespace xlt::link
