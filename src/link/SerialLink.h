#pragma once

#include "LinkLibrary.h"
#include "OpenFailure.h"
#include "PortSource.h"

#include <QSerialPort>
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
    /// The reason of the last failed open (see openFailureKind()) as a message; for a busy
    /// port it names the program holding it when that can be found.
    std::string openFailureText() const override;
    void setInterrupt(std::function<bool()> interrupted) override;
    const OpenFailure &lastOpenFailure() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// How a QSerialPort error on open reads for the user. A permission error also stands for a
/// port that another program holds (its lock file or its exclusive use): `nodeAccessible` (the
/// user may read and write the node) tells the two apart. Open and resource errors mean busy;
/// a missing device means it vanished.
OpenFailureKind openFailureKind(QSerialPort::SerialPortError error, bool nodeAccessible);

} // namespace xlt::link
