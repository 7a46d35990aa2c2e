#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xlt::link {

/// The command/reply record handed by reference to the link's three operations. Its layout is
/// fixed (522 bytes, no padding) so that it can be passed to the device maker's own library
/// where that exists; offsets are checked below.
#pragma pack(push, 1)
struct XLTPacket
{
    std::uint32_t BaudRate = 0;      ///< line speed; every caller sets 9600
    std::uint32_t Timeout = 0;       ///< reply time-out in milliseconds; every caller sets 3000
    std::uint8_t PortNumber = 0;     ///< COM port number (3 for COM3)
    std::uint8_t CommandLength = 0;  ///< valid bytes in CommandData
    std::uint8_t CommandData[255]{}; ///< [0] is the command code
    std::uint8_t ReplyStatus = 0;    ///< result code, set by the link (ReplyStatusCode)
    std::uint8_t ReplyLength = 0;    ///< valid bytes in ReplyData
    std::uint8_t ReplyData[255]{};   ///< reply bytes
};
#pragma pack(pop)

static_assert(sizeof(XLTPacket) == 522);
static_assert(offsetof(XLTPacket, BaudRate) == 0);
static_assert(offsetof(XLTPacket, Timeout) == 4);
static_assert(offsetof(XLTPacket, PortNumber) == 8);
static_assert(offsetof(XLTPacket, CommandLength) == 9);
static_assert(offsetof(XLTPacket, CommandData) == 10);
static_assert(offsetof(XLTPacket, ReplyStatus) == 265);
static_assert(offsetof(XLTPacket, ReplyLength) == 266);
static_assert(offsetof(XLTPacket, ReplyData) == 267);

/// Result codes in ReplyStatus. Only ReplyOk counts as success.
enum ReplyStatusCode : std::uint8_t {
    ComPortClosed = 0,  ///< "COM PORT CLOSED": a send on a closed port
    ComPortOpen = 1,    ///< "COM PORT OPEN"
    PortError = 2,      ///< "PORT ERROR": the line failed (write error, device gone)
    ReplyOk = 3,        ///< "REPLY OK": a valid reply within the time-out
    PacketError = 4,    ///< "PACKET ERROR": a malformed reply or one that fails its CRC
    CommandTimeOut = 5, ///< "COMMAND TIME_OUT": no complete reply within Timeout
};

constexpr std::uint32_t kBaudRate = 9600;
constexpr std::uint32_t kTimeoutMs = 3000;

} // namespace xlt::link
