#pragma once

#include "DeviceModel.h"
#include "link/LinkLibrary.h"

#include <functional>
#include <optional>

namespace xlt::sim {

/// The link's three operations straight onto a DeviceModel, without a serial line or framing.
/// Window tests and benchmarks use it in-process.
///
/// The device's faults become result codes at once, without waiting for a time-out:
///   no reply -> CommandTimeOut (5); bad CRC or stray bytes only -> PacketError (4);
///   stray bytes before a valid reply -> the reply; the device vanishing -> PortError (2) and
///   the port closed; a reply with a status other than 3 -> that status in ReplyStatus.
/// OpenXLTComPort fails while the device is unplugged or has vanished, or when `portNumber` is
/// set and the record names another port. A send on a closed port gives ComPortClosed (0).
class InProcessLink final : public link::LinkLibrary
{
public:
    explicit InProcessLink(DeviceModel &model, std::optional<std::uint8_t> portNumber = {});

    std::int16_t OpenXLTComPort(link::XLTPacket &packet) override;
    std::int16_t XLTSendCommand(link::XLTPacket &packet) override;
    std::int16_t CloseXLTComPort() override;

    /// The time handed to the device with each command (default: Clock::now()).
    void setClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }

    bool isOpen() const { return m_open; }
    int openCount() const { return m_openCount; }
    DeviceModel &model() { return m_model; }

private:
    DeviceModel &m_model;
    std::optional<std::uint8_t> m_portNumber;
    std::function<Clock::time_point()> m_clock;
    bool m_open = false;
    int m_openCount = 0;
};

} // namespace xlt::sim
