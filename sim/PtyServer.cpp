#include "PtyServer.h"

#include "link/Framing.h"
#include "link/SimRegistry.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace xlt::sim {

namespace {

using namespace std::chrono_literals;
namespace framing = link::framing;

/// One character time at 9600 baud: a start bit, eight data bits and a stop bit.
constexpr auto kByteTime = std::chrono::microseconds(1042);
/// How long a reply may wait for room on the line before it is dropped.
constexpr int kWriteWaitMs = 1000;
/// Bytes that look like line noise: no frame start among them.
constexpr std::array<std::uint8_t, 7> kGarbage{0x00, 0x13, 0xFF, 0x55, 0xAA, 0x81, 0x3C};
/// Noise with frame starts in it: a run of start bytes, then the head of a frame whose LEN
/// takes the reply's own start byte for a doubled 7F.
constexpr std::array<std::uint8_t, 7> kNoise{0x7F, 0x7F, 0x7F, 0x01, 0x05, 0x03, 0x7F};

std::string errnoText(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

/// The same frame with its CRC spoiled and stuffed again, so the framing itself stays sound.
std::vector<std::uint8_t> spoilCrc(const std::vector<std::uint8_t> &frame)
{
    std::vector<std::uint8_t> body;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        body.push_back(frame[i]);
        if (frame[i] == framing::kStart)
            ++i;
    }
    body[body.size() - 2] ^= 0x01;
    std::vector<std::uint8_t> out{framing::kStart};
    for (std::uint8_t byte : body) {
        out.push_back(byte);
        if (byte == framing::kStart)
            out.push_back(byte);
    }
    return out;
}

} // namespace

struct PtyServer::Registration
{
    link::SimPortRegistration entry;
};

PtyServer::PtyServer(DeviceOptions options)
    : m_model(std::move(options))
{}

std::unique_ptr<PtyServer> PtyServer::start(DeviceOptions options, const Settings &settings,
                                            std::string &error)
{
    std::unique_ptr<PtyServer> server(new PtyServer(std::move(options)));
    if (!server->open(error))
        return nullptr;
    if (!settings.registryDir.empty()) {
        std::string why;
        auto entry = link::SimPortRegistration::create(settings.registryDir, server->m_devicePath,
                                                       &why, settings.serial);
        if (!entry) {
            error = "cannot register " + server->m_devicePath + ": " + why;
            return nullptr;
        }
        server->m_registration = std::make_unique<Registration>(Registration{std::move(*entry)});
    }
    server->m_thread = std::thread(&PtyServer::serve, server.get());
    return server;
}

bool PtyServer::open(std::string &error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = errnoText("cannot create a pseudo-terminal");
        return false;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(m_master, name.data(), name.size()) != 0) {
        error = errnoText("cannot name the pseudo-terminal");
        return false;
    }
    m_devicePath = name.data();
    // Our own descriptor of the slave keeps the line up between client sessions.
    m_slave = ::open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &settings) != 0) {
        error = errnoText("cannot open the pseudo-terminal");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    int pipeFds[2];
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0 ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0 ||
        ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = errnoText("cannot set up the pseudo-terminal");
        return false;
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    return true;
}

PtyServer::~PtyServer()
{
    if (m_thread.joinable()) {
        const std::uint8_t stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &stop, 1);
        m_thread.join();
    }
    m_registration.reset();
    closeFd(m_master);
    closeFd(m_slave);
    closeFd(m_wakeRead);
    closeFd(m_wakeWrite);
}

int PtyServer::comPortNumber() const
{
    return m_registration ? link::kFirstSimPortNumber + m_registration->entry.index() : 0;
}

void PtyServer::serve()
{
    framing::Decoder decoder(false);
    std::array<std::uint8_t, 1024> buffer{};
    // The frame under way: when its first byte arrived, and its bytes so far.
    Clock::time_point frameStart;
    std::size_t frameBytes = 0;
    while (!m_gone) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents & (POLLERR | POLLNVAL))
            return;
        const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
        if (n <= 0) {
            // With our own slave descriptor open this is not expected; do not spin on it.
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                std::this_thread::sleep_for(10ms);
            continue;
        }
        const Clock::time_point arrived = Clock::now();
        for (ssize_t i = 0; i < n && !m_gone; ++i) {
            const bool wasInFrame = decoder.inFrame();
            const auto result = decoder.feed(buffer[static_cast<std::size_t>(i)]);
            if (!wasInFrame) {
                frameStart = arrived;
                frameBytes = 0;
            }
            ++frameBytes;
            if (result == framing::Decoder::Result::Complete) {
                const framing::Frame &frame = decoder.frame();
                answer(frame.data, frame.seq, frameStart + kByteTime * frameBytes);
            }
        }
    }
}

void PtyServer::answer(std::span<const std::uint8_t> command, std::uint8_t seq,
                       Clock::time_point received)
{
    {
        std::lock_guard lock(m_mutex);
        m_pace = m_model.options().pace9600;
    }
    // On a paced line the command takes its wire time to arrive before the device can answer.
    if (m_pace)
        std::this_thread::sleep_until(received);
    Response response;
    bool noise = false;
    {
        std::lock_guard lock(m_mutex);
        response = m_model.handle(command, Clock::now());
        noise = m_model.options().fault == Fault::NoiseBefore;
    }
    const auto replySeq = static_cast<std::uint8_t>(seq | framing::kSeqReply);
    std::vector<std::uint8_t> bytes;
    switch (response.kind) {
    case Response::Kind::NoReply:
        break;
    case Response::Kind::Disconnect:
        vanish();
        return;
    case Response::Kind::Garbage:
        bytes.assign(kGarbage.begin(), kGarbage.end());
        break;
    case Response::Kind::BadCrc:
        bytes = spoilCrc(framing::encodeReply(replySeq, response.status, response.data));
        break;
    case Response::Kind::Reply:
        if (response.garbageBefore && noise)
            bytes.assign(kNoise.begin(), kNoise.end());
        else if (response.garbageBefore)
            bytes.assign(kGarbage.begin(), kGarbage.end());
        const auto frame = framing::encodeReply(replySeq, response.status, response.data);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        break;
    }
    // Unplugged between two exchanges: the port leaves the registry before the reply goes out,
    // so the host's next open finds no port. Serving stops; the line itself stays until the
    // server ends, so the reply in it is still read (a closed pty would drop it).
    if (response.thenVanish && m_registration)
        m_registration->entry.unregister();
    writeAll(bytes);
    if (response.thenVanish)
        m_gone = true;
}

bool PtyServer::writeAll(std::span<const std::uint8_t> bytes)
{
    const auto begin = Clock::now();
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = bytes.size() - done;
        if (m_pace) {
            std::this_thread::sleep_until(begin + kByteTime * (done + 1));
            chunk = 1;
        }
        const ssize_t n = ::write(m_master, bytes.data() + done, chunk);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        // Nobody is reading and the line's buffer is full: stale replies are of no use.
        pollfd out{m_master, POLLOUT, 0};
        if (::poll(&out, 1, kWriteWaitMs) <= 0) {
            ::tcflush(m_slave, TCIFLUSH);
            return false;
        }
    }
    return true;
}

void PtyServer::vanish()
{
    // Closing both ends takes the line away from the client mid-exchange, like a pulled plug.
    closeFd(m_master);
    closeFd(m_slave);
    if (m_registration)
        m_registration->entry.unregister();
    m_gone = true;
}

} // namespace xlt::sim
