#pragma once

#include "LinkLibrary.h"
#include "PortSource.h"

#include <memory>

namespace xlt::link {

/// The link over a real serial line (QSerialPort, blocking). PortNumber n is resolved to a
/// device node through the port source (the entry whose port name is "COM<n>").
class SerialLink final : public LinkLibrary
{
public:
    explicit SerialLink(PortSource &ports);
    ~SerialLink() override;

    std::int16_t OpenXLTComPort(XLTPacket &packet) override;
    std::int16_t XLTSendCommand(XLTPacket &packet) override;
    std::int16_t CloseXLTComPort() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace xlt::link
