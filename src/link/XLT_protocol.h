#pragma once

// One command/reply transaction with the device and the procedures that wrap the device's
// commands in open-command-close, as an operation's procedure calls them on the line.

#include "Operation.h"
#include "XLTPacket.h"

#include <cstdint>
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

// Every procedure runs on the line, inside an operation's procedure, and works on the record
// it is given (normally the operation's Flow::CmdPacket). Messages go to the operation's owner
// through the flow.

/// Opens the port named by packet.PortNumber with packet.BaudRate and packet.Timeout.
/// Nonzero when open. When the port exists but cannot be opened (no permission, held by
/// another program) the user is told why and what to do; a port that has vanished fails
/// silently. Every procedure below that opens the port does the same.
std::int16_t OpenXLTComPort(Flow &flow, XLTPacket &packet);

/// Closes the open port (no effect when closed). The record is left alone.
void CloseXLTComPort(Flow &flow);

/// One exchange on an open port: sends CommandLength bytes of CommandData and waits for the
/// reply. True when the result code is ReplyOk (ReplyLength/ReplyData hold the reply; the port
/// stays open). Otherwise shows "XLT Command transmission error " + ReplyStatusText(code)
/// (exclamation), closes the port and returns false. After a cancel it closes the port and
/// returns false without a word.
bool RunXLTCommand(Flow &flow, XLTPacket &packet);

// The open-command-close procedures. PortNumber, BaudRate and Timeout must be set already.
// Each returns false when the port does not open (told as OpenXLTComPort), false after
// RunXLTCommand's message when the exchange fails (port closed), and true with the reply in the
// record and the port closed. Bytes of CommandData beyond CommandLength keep what they held.
// A cancelled operation sends nothing and gets false.

/// Command 16. On true the identity text is ReplyData[0..ReplyLength).
bool ReadXLTVersion(Flow &flow, XLTPacket &packet);
/// Command 17. On true the configuration block is ReplyData[0..127].
bool ReadXLTConfig(Flow &flow, XLTPacket &packet);
/// Command 18 carrying `config` in CommandData[1..128].
bool WriteXLTConfig(Flow &flow, XLTPacket &packet,
                    std::span<const std::uint8_t, kConfigBlockSize> config);
/// Command 21 for block `block`: CommandData[1] = block low byte, [2] = high byte,
/// [3..130] = image[128 * (block + 1) ...], 128 bytes (the image's first 128 bytes are never
/// sent). Returns false without opening the port or sending anything, and without a message,
/// when the image does not hold that block (image.size() < 128 * (block + 2)).
bool SendXLTUpdateBlock(Flow &flow, XLTPacket &packet, std::span<const std::uint8_t> image,
                        std::uint16_t block);

/// The device's protocol code for a protocol name: "TH001" "PR00", "ID003" "PR01",
/// "NT001" "PR03", "ID300" "PR04", "AD001" "PR05". Exact, case-sensitive; any other text comes
/// back unchanged.
std::string ProtocolNameToCode(const std::string &name);

/// The reply as text, one character per byte: ReplyData[0..ReplyLength).
std::string replyText(const XLTPacket &packet);

} // namespace xlt::link
