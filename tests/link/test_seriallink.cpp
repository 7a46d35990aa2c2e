// The serial link against a pseudo-terminal whose device end the test drives: the framing and
// resynchronisation details that the emulator's faults (tests/cli/test_fault_table.cpp) do not
// reach.
#include "link/Framing.h"
#include "link/SerialLink.h"
#include "support/FakeLink.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

using namespace xlt::link;
using Bytes = std::vector<std::uint8_t>;
using Frame = framing::Frame;
using Script = std::function<Bytes(const Frame &)>;

const Bytes kIdentity{'P', 'R', '0', '1', ' ', '0', '1', '0', '2', '0', '0', '0', '3'};

/// The reply frame to a command with `seq`.
static Bytes reply(int seq, std::uint8_t status, const Bytes &data)
{
    return framing::encodeReply(std::uint8_t(seq | framing::kSeqReply), status, data);
}

static Bytes cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// The device's end of a pseudo-terminal.
struct Pty
{
    Pty()
    {
        char name[256] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&master, &slave, name, &raw, nullptr) == 0)
            path = name;
    }
    ~Pty() { hangUp(); }
    void hangUp()
    {
        ::tcdrain(master); // the last bytes reach the other side before the line goes
        ::close(master);
        ::close(slave);
        master = slave = -1;
    }
    void write(const Bytes &b) { [[maybe_unused]] auto n = ::write(master, b.data(), b.size()); }
    /// Answers the next command frame on another thread, `gap` between its bytes; hangs up
    /// afterwards when told to.
    std::thread answer(const Script &script, bool thenHangUp, std::chrono::milliseconds gap)
    {
        return std::thread([this, script, thenHangUp, gap] {
            framing::Decoder decoder(false);
            std::uint8_t byte = 0;
            for (pollfd fd{master, POLLIN, 0}; ::poll(&fd, 1, 5000) > 0;) {
                if (::read(master, &byte, 1) != 1 ||
                    decoder.feed(byte) != framing::Decoder::Result::Complete)
                    continue;
                const Bytes bytes = script(decoder.frame());
                const long piece = gap.count() > 0 ? 1 : std::ssize(bytes); // or byte by byte
                for (auto at = bytes.begin(); at < bytes.end(); at += piece) {
                    std::this_thread::sleep_for(gap);
                    write(Bytes(at, at + piece));
                }
                if (thenHangUp)
                    hangUp();
                return;
            }
        });
    }

    int master = -1, slave = -1;
    std::string path; ///< empty when no pseudo-terminal could be had
};

class SerialLinkTest : public ::testing::Test
{
protected:
    // Pieces of what the device writes back.
    static Bytes good(const Frame &c) { return reply(c.seq, ReplyOk, kIdentity); }
    static Bytes stale(const Frame &c) { return reply(c.seq ^ framing::kSeqToggle, ReplyOk, {1}); }
    static Bytes echo(const Frame &c) { return framing::encodeCommand(c.seq, c.data); }
    static Bytes first(const Bytes &b, long n) { return Bytes(b.begin(), b.begin() + n); }

    void start(std::uint32_t timeoutMs = 3000)
    {
        link.CloseXLTComPort();
        pty.emplace();
        if (pty->path.empty())
            GTEST_SKIP() << "no pseudo-terminal available (openpty failed)";
        ports.records = {{"\\Device\\USBSER000", "COM7", pty->path},
                         {"\\Device\\USBSER001", "COM9", "/dev/pts/no-such-pty"}};
        packet.PortNumber = 7;
        packet.BaudRate = kBaudRate;
        packet.Timeout = timeoutMs;
        ASSERT_NE(link.OpenXLTComPort(packet), 0) << "could not open " << pty->path;
    }
    /// One exchange; `script` (if any) answers as the device.
    std::uint8_t send(const Bytes &command, const Script &script = {}, bool thenHangUp = false,
                      std::chrono::milliseconds gap = {})
    {
        std::thread device = script ? pty->answer(script, thenHangUp, gap) : std::thread();
        packet.CommandLength = std::uint8_t(command.size());
        std::copy(command.begin(), command.end(), packet.CommandData);
        packet.ReplyStatus = 0xEE;
        link.XLTSendCommand(packet);
        if (device.joinable())
            device.join();
        return packet.ReplyStatus;
    }
    Bytes replyBytes() const { return {packet.ReplyData, packet.ReplyData + packet.ReplyLength}; }

    xlt::test::FakePortSource ports;
    SerialLink link{ports};
    XLTPacket packet;
    std::optional<Pty> pty;
};

// (Noise, garbage, a refusing device and one that goes are rows of the fault table.)
TEST_F(SerialLinkTest, ReplyFaults)
{
    const std::tuple<const char *, Script, std::uint8_t> rows[] = {
        {"only a stale reply", stale, CommandTimeOut},
        // Reported at once, not after the whole time-out.
        {"frame stops part way", [](auto &c) { return first(good(c), 10); }, PacketError},
        {"other side closes mid-reply", [](auto &c) { return first(good(c), 5); }, PortError},
        {"command echoed before the reply", [](auto &c) { return cat(echo(c), good(c)); }, ReplyOk},
        {"stale reply, then the right one", [](auto &c) { return cat(stale(c), good(c)); },
         ReplyOk},
        // Each byte well within the gap limit, the whole longer than it (a slow line): the gap
        // counts from the last byte, not from the first.
        {"byte by byte, 15 ms apart", good, ReplyOk},
    };
    for (const auto &[name, script, expected] : rows) {
        SCOPED_TRACE(name);
        start(expected == CommandTimeOut ? 300 : 3000);
        if (IsSkipped())
            return;
        packet.ReplyLength = 1;
        packet.ReplyData[0] = 0x42;
        const auto gap = std::chrono::milliseconds(std::string(name).starts_with("byte") ? 15 : 0);
        EXPECT_EQ(send({16}, script, expected == PortError, gap), expected);
        // A failed exchange leaves the previous reply alone; a failed line is closed.
        EXPECT_EQ(replyBytes(), expected == ReplyOk ? kIdentity : Bytes{0x42});
        if (expected == PortError) {
            EXPECT_EQ(send({16}), ComPortClosed);
        }
    }
}

// An operation whose owner has gone: the wait for a silent device ends at the interrupt (a
// plain time-out would leave the port open) and the port is closed.
TEST_F(SerialLinkTest, InterruptEndsTheWaitAndClosesThePort)
{
    start(3000);
    if (IsSkipped())
        return;
    int looks = 0;
    link.setInterrupt([&looks] { return ++looks > 3; });
    EXPECT_EQ(send({16}), CommandTimeOut);
    link.setInterrupt({});
    EXPECT_EQ(send({16}), ComPortClosed);
}

TEST_F(SerialLinkTest, ExchangesOpenCloseAndLineStates)
{
    start();
    std::vector<Frame> seen;
    const auto script = [&](const Frame &c) {
        seen.push_back(c);
        return reply(c.seq, ReplyOk, Bytes(255, 0x7F)); // the longest reply, every byte doubled
    };
    ASSERT_EQ(send({16}, script), ReplyOk);
    // Replies for either SEQ arriving between exchanges must not answer the next command.
    pty->write(framing::encodeReply(0x00 | framing::kSeqReply, ReplyOk, Bytes{0xBA}));
    pty->write(framing::encodeReply(0x80 | framing::kSeqReply, ReplyOk, Bytes{0xBA}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(send({17, 0x7F}, script), ReplyOk);
    EXPECT_EQ(replyBytes(), Bytes(255, 0x7F));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].data, (Bytes{17, 0x7F}));
    EXPECT_EQ(seen[0].seq ^ seen[1].seq, framing::kSeqToggle); // the SEQ bit toggles

    link.CloseXLTComPort();
    EXPECT_EQ(send({1}), ComPortClosed);
    link.CloseXLTComPort();                   // closing twice does nothing
    for (const int number : {0, 8, 9, 255}) { // 9: its device node is missing
        packet.PortNumber = static_cast<std::uint8_t>(number);
        EXPECT_EQ(link.OpenXLTComPort(packet), 0) << number;
        EXPECT_EQ(send({1}), ComPortClosed);
        // No such port, or one that has gone: nothing to tell the user.
        EXPECT_EQ(link.lastOpenFailure().kind,
                  number == 9 ? OpenFailureKind::Vanished : OpenFailureKind::NoSuchPort);
        EXPECT_EQ(link.openFailureText(), "");
    }
    // (A device that goes between two commands: the fault table's disconnect rows.)
}
