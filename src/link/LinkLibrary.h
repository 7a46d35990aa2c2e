#pragma once

#include "XLTPacket.h"

#include <cstdint>
#include <functional>
#include <string>

namespace xlt::link {

/// The link's three operations. Implementations: SerialLink (the real serial line), the
/// emulator's in-process link (sim/), and test fakes.
///
/// Contract:
/// - OpenXLTComPort takes PortNumber, BaudRate and Timeout from the record; nonzero when the
///   port is open. It fails silently; openFailureText() then says why, for a caller that
///   wants to tell the user.
/// - XLTSendCommand sends the first CommandLength bytes of CommandData on the open port and
///   waits for the reply. Afterwards ReplyStatus holds a ReplyStatusCode; when it is ReplyOk,
///   ReplyLength and ReplyData hold the reply. Nothing outside the record's arrays is ever
///   written, whatever the device sends. The return value carries no meaning.
/// - CloseXLTComPort closes the open port (no effect when closed) and leaves the record alone.
class LinkLibrary
{
public:
    virtual ~LinkLibrary() = default;
    virtual std::int16_t OpenXLTComPort(XLTPacket &packet) = 0;
    virtual std::int16_t XLTSendCommand(XLTPacket &packet) = 0;
    virtual std::int16_t CloseXLTComPort() = 0;

    /// Why the last OpenXLTComPort failed and what the user can do about it (a port the user
    /// may not open, a port held by another program), as one message. Empty after a successful
    /// open, when the failure is best left silent (a device that went away), and for links
    /// that cannot tell.
    virtual std::string openFailureText() const { return {}; }

    /// While set, a link that waits (for a reply, for bytes to leave) asks `interrupted` every
    /// few milliseconds and gives up once it says true: the command then ends with
    /// CommandTimeOut and the port closed. Links that never wait may ignore it.
    // Overrides keep the function (by move); this default has no use for it.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void setInterrupt(std::function<bool()> /*interrupted*/) {}
};

} // namespace xlt::link
