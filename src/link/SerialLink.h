#pragma once

#include "LinkLibrary.h"
#include "OpenFailure.h"
#include "PortSource.h"

#include <memory>

namespace xlt::link {

/// The link over a real serial line. PortNumber n is resolved to a device node through the port
/// source (the entry whose port name is "COM<n>"). One implementation per system, chosen by the
/// build: SerialLink.cpp over Qt SerialPort (Linux), SerialLink_windows.cpp over the Win32
/// communications functions; both exchange through LineExchange.
class SerialLink final : public LinkLibrary
{
public:
    explicit SerialLink(PortSource &ports);
    ~SerialLink() override;

    std::int16_t OpenXLTComPort(XLTPacket &packet) override;
    std::int16_t XLTSendCommand(XLTPacket &packet) override;
    std::int16_t CloseXLTComPort() override;
    /// The reason of the last failed open as a message in the system's form; for a busy port
    /// on Linux it names the program holding it when that can be found.
    std::string openFailureText() const override;
    void setInterrupt(std::function<bool()> interrupted) override;
    const OpenFailure &lastOpenFailure() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace xlt::link
