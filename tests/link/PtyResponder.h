#pragma once

// The device's end of a pseudo-terminal, driven by a test: a thread decodes each command frame
// and answers as the test's script says.

#include "link/Framing.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace xlt::test {

using Bytes = std::vector<std::uint8_t>;
namespace framing = link::framing;

/// What the responder does about one command.
struct Answer
{
    Bytes bytes;         ///< written to the line
    bool hangUp = false; ///< then closes its end of the line
};

class PtyResponder
{
public:
    using Script = std::function<Answer(const framing::Frame &command)>;

    explicit PtyResponder(Script script)
        : m_script(std::move(script))
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        ::tcgetattr(m_slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
        m_slavePath = name;
        m_thread = std::thread([this] { run(); });
    }

    ~PtyResponder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        closeEnds();
    }

    bool ok() const { return !m_slavePath.empty(); }
    const std::string &slavePath() const { return m_slavePath; }
    int commands() const { return m_commands; }
    /// Writes bytes from the device's side outside any exchange.
    void inject(const Bytes &bytes)
    {
        std::lock_guard lock(m_mutex);
        writeAll(bytes);
    }

private:
    void run()
    {
        framing::Decoder decoder(false);
        while (!m_stop) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 10) <= 0 || !(fd.revents & POLLIN))
                continue;
            std::uint8_t buffer[600];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            for (ssize_t i = 0; i < n; ++i) {
                if (decoder.feed(buffer[i]) != framing::Decoder::Result::Complete)
                    continue;
                ++m_commands;
                const Answer answer = m_script(decoder.frame());
                std::lock_guard lock(m_mutex);
                writeAll(answer.bytes);
                if (answer.hangUp) {
                    closeEnds();
                    return;
                }
            }
        }
    }

    void writeAll(const Bytes &bytes)
    {
        std::size_t done = 0;
        while (m_master >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }

    void closeEnds()
    {
        // Let the bytes written last reach the other side before the line goes.
        if (m_master >= 0)
            ::tcdrain(m_master);
        for (int *fd : {&m_master, &m_slave}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    Script m_script;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::thread m_thread;
    std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_commands{0};
};

/// The reply frame to `command` (its SEQ with the reply bit).
inline Bytes replyTo(const framing::Frame &command, std::uint8_t status, const Bytes &data)
{
    return framing::encodeReply(static_cast<std::uint8_t>(command.seq | framing::kSeqReply), status,
                                data);
}

} // namespace xlt::test
