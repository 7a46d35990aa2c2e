#include "SerialLink.h"

#include "Framing.h"

#include <QSerialPort>
#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace xlt::link {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// Once a reply frame has started, a pause this long (plus 20 character times at the line
/// speed) means the rest is not coming: the frame is reported broken at once instead of after
/// the whole reply time-out.
constexpr milliseconds kInterByteGap{100};
/// The longest a wait goes without asking whether the operation still wants the reply.
constexpr milliseconds kInterruptSlice{20};

milliseconds gapLimit(std::uint32_t baudRate)
{
    const std::uint32_t baud = std::max<std::uint32_t>(baudRate, 1);
    return kInterByteGap + milliseconds(20ull * 10 * 1000 / baud);
}

int toWaitMs(milliseconds duration)
{
    return static_cast<int>(
        std::clamp<milliseconds::rep>(duration.count(), 0, std::numeric_limits<int>::max()));
}

} // namespace

struct SerialLink::Impl
{
    explicit Impl(PortSource &source)
        : ports(source)
    {}

    bool open(const XLTPacket &packet);
    std::uint8_t exchange(XLTPacket &packet);
    bool send(const std::vector<std::uint8_t> &frame);
    std::uint8_t awaitReply(XLTPacket &packet);
    /// Feeds received bytes to the decoder: the result code once the reply is complete.
    std::optional<std::uint8_t> take(framing::Decoder &decoder, const QByteArray &bytes,
                                     std::uint8_t expected, XLTPacket &packet);
    /// The reply's result code when `frame` is the reply to the command (SEQ `expected`).
    static std::optional<std::uint8_t> deliver(const framing::Frame &frame, std::uint8_t expected,
                                               XLTPacket &packet);
    std::uint8_t lost();
    /// Records why opening `record` failed.
    void noteOpenFailure(const PortRecord &record);

    PortSource &ports;
    OpenFailure failure;
    QSerialPort port;
    std::uint8_t seq = 0;
    milliseconds timeout{kTimeoutMs};
    milliseconds gap{kInterByteGap};
    std::function<bool()> interrupted;
};

bool SerialLink::Impl::open(const XLTPacket &packet)
{
    failure = OpenFailure{};
    failure.kind = OpenFailureKind::NoSuchPort;
    PortRecord record{{}, "COM" + std::to_string(packet.PortNumber), {}};
    for (const PortRecord &listed : ports.ports()) {
        if (listed.portName == record.portName) {
            record = listed;
            break;
        }
    }
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
    timeout = milliseconds(packet.Timeout);
    gap = gapLimit(packet.BaudRate);
    return true;
}

void SerialLink::Impl::noteOpenFailure(const PortRecord &record)
{
    // Read the error after the call, not in the same expression (Qt sets it late).
    const QSerialPort::SerialPortError error = port.error();
    const bool accessible = ::access(record.devicePath.c_str(), R_OK | W_OK) == 0;
    failure.kind = openFailureKind(error, accessible);
    failure.devicePath = record.devicePath;
    failure.portName = record.portName;
    failure.systemText = port.errorString().toStdString();
    failure.nodeGroup = groupOfNode(record.devicePath);
    const passwd *user = ::getpwuid(::geteuid());
    failure.userName = user ? user->pw_name : "";
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

std::uint8_t SerialLink::Impl::lost()
{
    // The device is gone or the line failed: QSerialPort still says open, so close here, and
    // the next send reports a closed port.
    port.close();
    return PortError;
}

bool SerialLink::Impl::send(const std::vector<std::uint8_t> &frame)
{
    const auto size = qint64(frame.size());
    port.clearError();
    if (port.write(reinterpret_cast<const char *>(frame.data()), size) != size)
        return false;
    while (port.bytesToWrite() > 0) {
        if (!port.waitForBytesWritten(toWaitMs(timeout)))
            return false;
    }
    return true;
}

std::uint8_t SerialLink::Impl::exchange(XLTPacket &packet)
{
    // A reply that came late for an earlier command must not be taken for this one: drop
    // what is waiting, and tag the command so that a stale reply still on its way is ignored.
    port.clear(QSerialPort::Input);
    port.readAll();
    seq = static_cast<std::uint8_t>(seq ^ framing::kSeqToggle);
    const auto frame = framing::encodeCommand(
        seq, std::span<const std::uint8_t>(packet.CommandData, packet.CommandLength));
    if (!send(frame))
        return lost();
    return awaitReply(packet);
}

std::uint8_t SerialLink::Impl::awaitReply(XLTPacket &packet)
{
    framing::Decoder decoder(true);
    const auto deadline = Clock::now() + timeout;
    const auto expected = static_cast<std::uint8_t>(seq | framing::kSeqReply);
    auto lastBytes = Clock::now();
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            return CommandTimeOut;
        if (interrupted && interrupted()) {
            // The operation's owner has gone: nobody wants the reply, and the port is freed.
            port.close();
            return CommandTimeOut;
        }
        const bool midFrame = decoder.inFrame();
        auto until = midFrame ? std::min(deadline, lastBytes + gap) : deadline;
        // Waits in short slices, so that an interrupt is noticed within one.
        until = std::min(until, now + kInterruptSlice);
        port.clearError();
        if (!port.waitForReadyRead(toWaitMs(std::chrono::duration_cast<milliseconds>(until - now) +
                                            milliseconds(1)))) {
            if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
                return lost();
            const auto after = Clock::now();
            if (midFrame && after >= lastBytes + gap && after < deadline) {
                // The frame stopped part way: its length was wrong, or it was noise that took
                // the reply's start for data; then the reply is still in its bytes.
                if (decoder.flush() == framing::Decoder::Result::Complete) {
                    if (const auto status = deliver(decoder.frame(), expected, packet))
                        return *status;
                }
                return PacketError;
            }
            continue;
        }
        lastBytes = Clock::now();
        if (const auto status = take(decoder, port.readAll(), expected, packet))
            return *status;
    }
}

std::optional<std::uint8_t> SerialLink::Impl::take(framing::Decoder &decoder,
                                                   const QByteArray &bytes, std::uint8_t expected,
                                                   XLTPacket &packet)
{
    using Result = framing::Decoder::Result;
    for (char c : bytes) {
        const Result result = decoder.feed(static_cast<std::uint8_t>(c));
        if (result == Result::BadCrc)
            return PacketError;
        // Malformed: a 7F in noise without a possible header after it, not a reply.
        if (result != Result::Complete)
            continue;
        if (const auto status = deliver(decoder.frame(), expected, packet))
            return status;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> SerialLink::Impl::deliver(const framing::Frame &frame,
                                                      std::uint8_t expected, XLTPacket &packet)
{
    if (frame.seq != expected)
        return std::nullopt; // a late reply to an earlier command
    if (frame.status == ReplyOk) {
        packet.ReplyLength = static_cast<std::uint8_t>(frame.data.size());
        std::copy(frame.data.begin(), frame.data.end(), packet.ReplyData);
    }
    return frame.status;
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
    packet.ReplyStatus =
        m_impl->port.isOpen() ? m_impl->exchange(packet) : std::uint8_t{ComPortClosed};
    return 0;
}

std::string SerialLink::openFailureText() const
{
    const OpenFailure &failure = m_impl->failure;
    std::optional<PortHolder> holder;
    if (failure.kind == OpenFailureKind::Busy) {
        HolderSearch search;
        search.ownPid = ::getpid();
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
