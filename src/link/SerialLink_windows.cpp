// The serial link over the Win32 communications functions (Windows; SerialLink.cpp on Linux).
#include "LineExchange.h"
#include "SerialLink.h"
#include "Win32Serial.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <string>

namespace xlt::link {

namespace win32 {

void setLineSettings(DCB &dcb, std::uint32_t baudRate)
{
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
}

COMMTIMEOUTS lineTimeouts(std::uint32_t readWaitMs, std::uint32_t writeMs)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = std::clamp<DWORD>(readWaitMs, 1, MAXDWORD - 1);
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = std::max<DWORD>(writeMs, 1);
    return timeouts;
}

OpenFailureKind openFailureKind(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return OpenFailureKind::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
        return OpenFailureKind::Vanished;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenFailureKind::Busy;
    default:
        return OpenFailureKind::Other;
    }
}

} // namespace win32

namespace {

using std::chrono::milliseconds;

std::uint32_t toMs(milliseconds duration)
{
    return static_cast<std::uint32_t>(std::clamp<milliseconds::rep>(duration.count(), 0, MAXDWORD));
}

/// The system's words for `error`, without the line end and the full stop.
std::string systemText(DWORD error)
{
    std::array<char, 512> text{};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string out(text.data(), length);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' '))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}

std::wstring widened(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

struct SerialLink::Impl final : LineIo
{
    explicit Impl(PortSource &source)
        : ports(source)
    {}

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
    bool open(const XLTPacket &packet);
    bool configure(const XLTPacket &packet);

    void dropInput() override { PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR); }
    bool send(std::span<const std::uint8_t> bytes, milliseconds limit) override;
    bool receive(std::vector<std::uint8_t> &bytes, milliseconds wait) override;
    void close() override
    {
        if (isOpen())
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    PortSource &ports;
    OpenFailure failure;
    HANDLE handle = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    LineExchange exchange;
    std::function<bool()> interrupted;
};

bool SerialLink::Impl::open(const XLTPacket &packet)
{
    failure = OpenFailure{};
    failure.kind = OpenFailureKind::NoSuchPort;
    const PortRecord record = portToOpen(ports, packet.PortNumber);
    if (record.devicePath.empty() || packet.BaudRate == 0)
        return false;
    handle = CreateFileW(widened(record.devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (!isOpen()) {
        const DWORD error = GetLastError();
        failure.kind = win32::openFailureKind(error);
        failure.devicePath = record.devicePath;
        failure.portName = record.portName;
        failure.systemText = systemText(error);
        return false;
    }
    failure = OpenFailure{};
    if (!configure(packet)) {
        close();
        return false;
    }
    return true;
}

bool SerialLink::Impl::configure(const XLTPacket &packet)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return false;
    win32::setLineSettings(dcb, packet.BaudRate);
    exchange.configure(packet.Timeout, packet.BaudRate);
    timeouts = win32::lineTimeouts(toMs(LineExchange::kInterruptSlice), packet.Timeout);
    return SetCommState(handle, &dcb) && SetCommTimeouts(handle, &timeouts) &&
           PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

bool SerialLink::Impl::send(std::span<const std::uint8_t> bytes, milliseconds limit)
{
    COMMTIMEOUTS wanted = win32::lineTimeouts(timeouts.ReadTotalTimeoutConstant, toMs(limit));
    if (wanted.WriteTotalTimeoutConstant != timeouts.WriteTotalTimeoutConstant) {
        if (!SetCommTimeouts(handle, &wanted))
            return false;
        timeouts = wanted;
    }
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool SerialLink::Impl::receive(std::vector<std::uint8_t> &bytes, milliseconds wait)
{
    COMMTIMEOUTS wanted = win32::lineTimeouts(toMs(wait), timeouts.WriteTotalTimeoutConstant);
    if (wanted.ReadTotalTimeoutConstant != timeouts.ReadTotalTimeoutConstant) {
        if (!SetCommTimeouts(handle, &wanted))
            return false;
        timeouts = wanted;
    }
    std::array<std::uint8_t, 1024> buffer{};
    DWORD got = 0;
    if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
        return false;
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
    return true;
}

SerialLink::SerialLink(PortSource &ports)
    : m_impl(std::make_unique<Impl>(ports))
{}
SerialLink::~SerialLink()
{
    m_impl->close();
}

std::int16_t SerialLink::OpenXLTComPort(XLTPacket &packet)
{
    m_impl->close();
    return m_impl->open(packet) ? 1 : 0;
}

std::int16_t SerialLink::XLTSendCommand(XLTPacket &packet)
{
    packet.ReplyStatus = m_impl->isOpen()
                             ? m_impl->exchange.run(*m_impl, packet, m_impl->interrupted)
                             : std::uint8_t{ComPortClosed};
    return 0;
}

std::string SerialLink::openFailureText() const
{
    return windowsOpenFailureText(m_impl->failure);
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
    m_impl->close();
    return 0;
}

} // namespace xlt::link
