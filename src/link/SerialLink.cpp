// The serial link over Qt SerialPort (Linux; SerialLink_windows.cpp on Windows).
#include "SerialLink.h"

#include "LineExchange.h"
#include "SerialLinkQt.h"
#include "UserAccess.h"

#include <QSerialPort>
#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>

namespace xlt::link {

namespace {

using std::chrono::milliseconds;

int toWaitMs(milliseconds duration)
{
    return static_cast<int>(
        std::clamp<milliseconds::rep>(duration.count(), 0, std::numeric_limits<int>::max()));
}

} // namespace

struct SerialLink::Impl final : LineIo
{
    explicit Impl(PortSource &source)
        : ports(source)
    {}

    bool open(const XLTPacket &packet);
    /// Records why opening `record` failed.
    void noteOpenFailure(const PortRecord &record);

    void dropInput() override
    {
        port.clear(QSerialPort::Input);
        port.readAll();
    }
    bool send(std::span<const std::uint8_t> bytes, milliseconds limit) override;
    bool receive(std::vector<std::uint8_t> &bytes, milliseconds wait) override;
    // QSerialPort still says open after the line failed: closing here makes the next send
    // report a closed port.
    void close() override { port.close(); }

    PortSource &ports;
    OpenFailure failure;
    QSerialPort port;
    LineExchange exchange;
    std::function<bool()> interrupted;
};

bool SerialLink::Impl::open(const XLTPacket &packet)
{
    failure = OpenFailure{};
    failure.kind = OpenFailureKind::NoSuchPort;
    const PortRecord record = portToOpen(ports, packet.PortNumber);
    const std::string &devicePath = record.devicePath;
    if (devicePath.empty() || packet.BaudRate == 0 ||
        packet.BaudRate > std::uint32_t(std::numeric_limits<qint32>::max()))
        return false;
    port.setPortName(QString::fromLocal8Bit(devicePath.data(), qsizetype(devicePath.size())));
    if (!port.open(QIODevice::ReadWrite)) {
        noteOpenFailure(record);
        return false;
    }
    failure = OpenFailure{};
    const bool configured =
        port.setBaudRate(qint32(packet.BaudRate)) && port.setDataBits(QSerialPort::Data8) &&
        port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
        port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        port.close();
        return false;
    }
    exchange.configure(packet.Timeout, packet.BaudRate);
    return true;
}

void SerialLink::Impl::noteOpenFailure(const PortRecord &record)
{
    // Read the error after the call, not in the same expression (Qt sets it late).
    const QSerialPort::SerialPortError error = port.error();
    failure.kind = openFailureKind(error, mayReadWrite(record.devicePath));
    failure.devicePath = record.devicePath;
    failure.portName = record.portName;
    failure.systemText = port.errorString().toStdString();
    failure.nodeGroup = groupOfNode(record.devicePath);
    failure.userName = currentUserName();
}

OpenFailureKind openFailureKind(QSerialPort::SerialPortError error, bool nodeAccessible)
{
    switch (error) {
    case QSerialPort::NoError:
        return OpenFailureKind::None;
    case QSerialPort::DeviceNotFoundError:
        return OpenFailureKind::Vanished;
    case QSerialPort::PermissionError:
        return nodeAccessible ? OpenFailureKind::Busy : OpenFailureKind::PermissionDenied;
    case QSerialPort::OpenError:
    case QSerialPort::ResourceError:
        return OpenFailureKind::Busy;
    default:
        return OpenFailureKind::Other;
    }
}

bool SerialLink::Impl::send(std::span<const std::uint8_t> bytes, milliseconds limit)
{
    const auto size = qint64(bytes.size());
    port.clearError();
    if (port.write(reinterpret_cast<const char *>(bytes.data()), size) != size)
        return false;
    while (port.bytesToWrite() > 0) {
        if (!port.waitForBytesWritten(toWaitMs(limit)))
            return false;
    }
    return true;
}

bool SerialLink::Impl::receive(std::vector<std::uint8_t> &bytes, milliseconds wait)
{
    port.clearError();
    if (!port.waitForReadyRead(toWaitMs(wait)))
        return port.error() == QSerialPort::TimeoutError || port.error() == QSerialPort::NoError;
    const QByteArray got = port.readAll();
    bytes.insert(bytes.end(), got.begin(), got.end());
    return true;
}

SerialLink::SerialLink(PortSource &ports)
    : m_impl(std::make_unique<Impl>(ports))
{}
SerialLink::~SerialLink() = default;

std::int16_t SerialLink::OpenXLTComPort(XLTPacket &packet)
{
    if (m_impl->port.isOpen())
        m_impl->port.close();
    return m_impl->open(packet) ? 1 : 0;
}

std::int16_t SerialLink::XLTSendCommand(XLTPacket &packet)
{
    packet.ReplyStatus = m_impl->port.isOpen()
                             ? m_impl->exchange.run(*m_impl, packet, m_impl->interrupted)
                             : std::uint8_t{ComPortClosed};
    return 0;
}

std::string SerialLink::openFailureText() const
{
    const OpenFailure &failure = m_impl->failure;
    std::optional<PortHolder> holder;
    if (failure.kind == OpenFailureKind::Busy) {
        HolderSearch search;
        search.ownPid = currentProcessId();
        holder = findPortHolder(failure.devicePath, search);
    }
    return link::openFailureText(failure, holder);
}

void SerialLink::setInterrupt(std::function<bool()> interrupted)
{
    m_impl->interrupted = std::move(interrupted);
}

const OpenFailure &SerialLink::lastOpenFailure() const
{
    return m_impl->failure;
}

std::int16_t SerialLink::CloseXLTComPort()
{
    if (m_impl->port.isOpen())
        m_impl->port.close();
    return 0;
}

} // namespace xlt::link
