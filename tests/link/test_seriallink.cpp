// The serial link against a pseudo-terminal whose other end this test drives itself: a small
// responder thread decodes each command and answers as scripted.
#include "link/Framing.h"
#include "link/SerialLink.h"

#include "support/FakeLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace xlt;
using namespace xlt::link;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

/// What the responder does about one command.
struct Answer
{
    Bytes bytes;              ///< written to the line
    bool hangUp = false;      ///< then closes its end of the line
};

class PtyResponder
{
public:
    using Script = std::function<Answer(const framing::Frame &command)>;

    explicit PtyResponder(Script script) : m_script(std::move(script))
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

std::uint8_t replySeq(const framing::Frame &command)
{
    return static_cast<std::uint8_t>(command.seq | framing::kSeqReply);
}

Bytes reply(const framing::Frame &command, std::uint8_t status, const Bytes &data)
{
    return framing::encodeReply(replySeq(command), status, data);
}

Bytes join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SerialLinkTest : public ::testing::Test
{
protected:
    void start(PtyResponder::Script script, std::uint32_t timeoutMs = 3000)
    {
        responder = std::make_unique<PtyResponder>(std::move(script));
        if (!responder->ok())
            GTEST_SKIP() << "no pseudo-terminal available (openpty failed)";
        ports.records = {{"\\Device\\USBSER000", "COM7", responder->slavePath()}};
        packet.PortNumber = 7;
        packet.BaudRate = kBaudRate;
        packet.Timeout = timeoutMs;
        ASSERT_NE(link.OpenXLTComPort(packet), 0) << "could not open " << responder->slavePath();
    }

    std::uint8_t send(std::initializer_list<std::uint8_t> command)
    {
        packet.CommandLength = static_cast<std::uint8_t>(command.size());
        std::copy(command.begin(), command.end(), packet.CommandData);
        packet.ReplyStatus = 0xEE;
        link.XLTSendCommand(packet);
        return packet.ReplyStatus;
    }

    Bytes replyBytes() const { return Bytes(packet.ReplyData, packet.ReplyData + packet.ReplyLength); }

    void TearDown() override
    {
        link.CloseXLTComPort();
        responder.reset();
    }

    test::FakePortSource ports;
    SerialLink link{ports};
    XLTPacket packet;
    std::unique_ptr<PtyResponder> responder;
};

const Bytes kIdentity{'P', 'R', '0', '1', ' ', '0', '1', '0', '2', '0', '0', '0', '3'};

} // namespace

TEST_F(SerialLinkTest, ValidReply)
{
    Bytes seen;
    start([&](const framing::Frame &command) {
        seen = command.data;
        return Answer{reply(command, ReplyOk, kIdentity)};
    });
    EXPECT_EQ(send({16}), ReplyOk);
    EXPECT_EQ(seen, Bytes{16});
    EXPECT_EQ(replyBytes(), kIdentity);
    // The port stays open for the next exchange.
    EXPECT_EQ(send({17, 0x7F}), ReplyOk);
    EXPECT_EQ(seen, (Bytes{17, 0x7F}));
}

TEST_F(SerialLinkTest, LongestReplyFullOf7F)
{
    start([](const framing::Frame &command) {
        return Answer{reply(command, ReplyOk, Bytes(255, 0x7F))};
    });
    EXPECT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(replyBytes(), Bytes(255, 0x7F));
}

TEST_F(SerialLinkTest, SequenceBitTogglesWithEveryCommand)
{
    std::vector<std::uint8_t> seqs;
    start([&](const framing::Frame &command) {
        seqs.push_back(command.seq);
        return Answer{reply(command, ReplyOk, {})};
    });
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(send({1}), ReplyOk);
    ASSERT_EQ(seqs.size(), 3u);
    EXPECT_NE(seqs[0], seqs[1]);
    EXPECT_EQ(seqs[0], seqs[2]);
    for (std::uint8_t seq : seqs)
        EXPECT_EQ(seq & 0x7F, 0);
}

TEST_F(SerialLinkTest, RefusalStatusPassesThroughAndLeavesTheReplyAlone)
{
    start([](const framing::Frame &command) { return Answer{reply(command, 4, {1, 2})}; });
    packet.ReplyLength = 3;
    packet.ReplyData[0] = 0x42;
    EXPECT_EQ(send({18}), 4);
    EXPECT_EQ(packet.ReplyLength, 3);
    EXPECT_EQ(packet.ReplyData[0], 0x42);
}

TEST_F(SerialLinkTest, ReplyFaults)
{
    struct Row
    {
        const char *name;
        std::function<Bytes(const framing::Frame &)> answer;
        std::uint8_t expected;
        std::uint32_t timeoutMs;
    };
    const Row rows[] = {
        {"no reply", [](const framing::Frame &) { return Bytes{}; }, CommandTimeOut, 300},
        {"noise only", [](const framing::Frame &) { return Bytes{1, 2, 3}; }, CommandTimeOut, 300},
        {"bad CRC",
         [](const framing::Frame &c) {
             Bytes r = reply(c, ReplyOk, kIdentity);
             r[r.size() - 2] ^= 0x10;
             return r;
         },
         PacketError, 3000},
        {"garbage before a valid reply",
         [](const framing::Frame &c) { return join({0x00, 0x7F, 0x55, 0xFF}, reply(c, ReplyOk, kIdentity)); },
         ReplyOk, 3000},
        // Without the gap limit this would end in a time-out after the whole 3 s.
        {"frame stops part way",
         [](const framing::Frame &c) {
             Bytes r = reply(c, ReplyOk, kIdentity);
             r.resize(r.size() - 3);
             return r;
         },
         PacketError, 3000},
        {"command echoed back before the reply",
         [](const framing::Frame &c) {
             return join(framing::encodeCommand(c.seq, c.data), reply(c, ReplyOk, kIdentity));
         },
         ReplyOk, 3000},
        {"only a start byte and noise", [](const framing::Frame &) { return Bytes{0x7F, 0x55, 0x7F, 0x10}; },
         CommandTimeOut, 300},
        {"stale reply with the other SEQ, then the right one",
         [](const framing::Frame &c) {
             const auto other = static_cast<std::uint8_t>(c.seq ^ framing::kSeqToggle);
             return join(framing::encodeReply(other, ReplyOk, Bytes{0xDE, 0xAD}), reply(c, ReplyOk, kIdentity));
         },
         ReplyOk, 3000},
        {"only a stale reply", [](const framing::Frame &c) {
             return framing::encodeReply(static_cast<std::uint8_t>(c.seq ^ framing::kSeqToggle), ReplyOk, Bytes{1});
         },
         CommandTimeOut, 300},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        start([&](const framing::Frame &c) { return Answer{row.answer(c)}; }, row.timeoutMs);
        if (IsSkipped())
            return;
        EXPECT_EQ(send({16}), row.expected);
        if (row.expected == ReplyOk) {
            EXPECT_EQ(replyBytes(), kIdentity);
        }
        TearDown();
    }
}

TEST_F(SerialLinkTest, StaleInputIsDroppedBeforeEachCommand)
{
    start([](const framing::Frame &c) { return Answer{reply(c, ReplyOk, {1})}; });
    ASSERT_EQ(send({1}), ReplyOk);
    // Something arrives between exchanges that looks like the answer to the next command
    // (the next command's SEQ is the first one's toggled).
    responder->inject(framing::encodeReply(0x00 | framing::kSeqReply, ReplyOk, Bytes{0xBA, 0xD0}));
    responder->inject(framing::encodeReply(0x80 | framing::kSeqReply, ReplyOk, Bytes{0xBA, 0xD1}));
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(replyBytes(), Bytes{1});
}

TEST_F(SerialLinkTest, OtherSideClosingMidExchangeIsAPortError)
{
    start([](const framing::Frame &c) {
        Bytes half = reply(c, ReplyOk, kIdentity);
        half.resize(5);
        return Answer{half, true};
    });
    EXPECT_EQ(send({16}), PortError);
    // The link closed the port itself: the next send finds it closed.
    EXPECT_EQ(send({16}), ComPortClosed);
}

TEST_F(SerialLinkTest, DeviceGoneBeforeTheCommandIsAPortError)
{
    start([](const framing::Frame &) { return Answer{}; });
    responder.reset(); // both ends of the line closed
    EXPECT_EQ(send({16}), PortError);
    EXPECT_EQ(send({16}), ComPortClosed);
}

TEST_F(SerialLinkTest, OpenAndCloseStates)
{
    start([](const framing::Frame &c) { return Answer{reply(c, ReplyOk, {})}; });
    link.CloseXLTComPort();
    EXPECT_EQ(send({1}), ComPortClosed);
    link.CloseXLTComPort(); // closing twice does nothing

    const std::uint8_t unknownPorts[] = {0, 8, 255};
    for (std::uint8_t number : unknownPorts) {
        packet.PortNumber = number;
        EXPECT_EQ(link.OpenXLTComPort(packet), 0) << int(number);
    }
    packet.PortNumber = 7;
    ASSERT_NE(link.OpenXLTComPort(packet), 0);
    EXPECT_EQ(send({1}), ReplyOk);
    EXPECT_EQ(responder->commands(), 1);
}

TEST_F(SerialLinkTest, MissingDeviceNodeDoesNotOpen)
{
    ports.records = {{"\\Device\\USBSER000", "COM9", "/dev/pts/no-such-pty"}};
    packet.PortNumber = 9;
    packet.BaudRate = kBaudRate;
    packet.Timeout = 100;
    EXPECT_EQ(link.OpenXLTComPort(packet), 0);
    EXPECT_EQ(send({1}), ComPortClosed);
}
