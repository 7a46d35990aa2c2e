// The SSP and ID003 decoders: every name of every table, worked examples, frame edges.
#include "MonitorTest.h"
#include "monitor/ID003Data.h"
#include "monitor/SSPData.h"
#include "support/Golden.h"

namespace {

using namespace xlt::montest;
using xlt::monitor::DecodeID003;
using xlt::monitor::DecodeSSP;

/// A working frame that starts with `hex`, the rest 0.
xlt::monitor::WorkingFrame frameOf(const std::string &hex)
{
    xlt::monitor::WorkingFrame frame{};
    const Bytes bytes = bytesOf(hex);
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

/// Uppercase hex without a leading zero, as the decoders print.
std::string hexOf(int code)
{
    return QString::number(code, 16).toUpper().toStdString();
}

// Every code 0..255 in every place a decoder looks one up (data/decoders.txt): an SSP command,
// a generic response, an SSP event followed by F1 (a channel, or RESET), an ID003 host command
// and an ID003 response (the device echoes setting and request commands under their names).
TEST(Decoders, EveryCodeOfEveryTable)
{
    std::string listing;
    for (int code = 0; code < 256; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        auto command = frameOf("7F 80 01");
        command[3] = byte;
        auto event = frameOf("7F 80 03 F0 00 F1");
        event[4] = byte;
        auto id003 = frameOf("FC 05");
        id003[2] = byte;
        for (const std::string &line :
             {DecodeSSP(command, 0x35), DecodeSSP(command, 0x55), DecodeSSP(event, 0x55),
              DecodeID003(id003, 0xAA), DecodeID003(id003, 0xCA)})
            listing += hexOf(code) + " " + line + "\n";
    }
    xlt::test::expectGolden("decoders.txt", listing);
}

// Frames of more than one code (one-code frames: EveryCodeOfEveryTable). Frames starting 7F go
// to the SSP decoder, the others to the ID003 one.
TEST(Decoders, WorkedExamplesAndEdges)
{
    const std::tuple<std::uint8_t, const char *, std::string> cases[] = {
        {0x35, "7F 80 03 02 FF FF 25 A4", "CMD: SET INHIBITS Data: FF,FF"},
        {0x35, "7F 80 02 0A 05 3C 11", "CMD: ENABLE Data: 5"},
        {0x55, "7F 80 03 F0 EF 02 11 22", "GENERIC RSP: OK Events/Data: NOTE READ 2 "},
        {0x55, "7F 80 05 F0 EF 0A EE 64",
         "GENERIC RSP: OK Events/Data: NOTE READ 10 NOTE CREDIT 100 "},
        {0x55, "7F 80 04 F0 E8 E2 01 11 22",
         "GENERIC RSP: OK Events/Data: DISABLED NOTE CLEARED CASHBOX 1 "},
        {0x55, "7F 80 02 F0 0C 11 22", "GENERIC RSP: OK Events/Data: C "},
        // LEN 0 and 1: a command line ends with its space, a response line has no events part.
        {0x35, "7F 80 00 11", "CMD: SYNC "},
        {0x35, "7F 80 01 11 AB CD", "CMD: SYNC "},
        {0x55, "7F 80 00 F0", "GENERIC RSP: OK"},
        // A channel event in the last position takes the first CRC byte as its channel.
        {0x55, "7F 80 02 F0 EE 9C 22", "GENERIC RSP: OK Events/Data: NOTE CREDIT 156 "},
        {0x35, "7F 80 04 02 07", "CMD: SET INHIBITS Data: 7,0,0"}, // shorter than its LEN
        {0xAA, "FC 06 C3 00 04 D6", "HOST CMD: SET INHIBIT  Data: 0"},
        {0xCA, "FC 06 13 62 11 22", "XLT RSP: ESCROW  Data: 62"},
        {0xAA, "FC 09 C0 00 0A 10 FF 11 22", "HOST CMD: SET ENABLE  Data: 0,A,10,FF"},
        // LNG below 4 has no data part, like LNG 5.
        {0xAA, "FC 03 11 77", "HOST CMD: STATUS REQUEST  "},
        {0xCA, "FC 00 13 77", "XLT RSP: ESCROW  "},
        {0xCA, "FC 08 13 62", "XLT RSP: ESCROW  Data: 62,0,0"}, // shorter than its LNG
        // Tags of the other side give nothing, also for a well-formed frame.
        {0xAA, "7F 80 01 07 12 02", ""},
        {0xCA, "7F 80 01 F0 23 80", ""},
        {0x55, "FC 05 11 27 56", ""},
        {0x35, "FC 05 1A F4 E8", ""},
    };
    for (const auto &[tag, hex, line] : cases) {
        const auto frame = frameOf(hex);
        EXPECT_EQ(frame[0] == 0x7F ? DecodeSSP(frame, tag) : DecodeID003(frame, tag), line) << hex;
    }
}

// SSP LEN 253 to 255 reach past the 256-byte frame, which reads 0 there; ID003 LNG 255 does not.
TEST(Decoders, LengthsThatReachTheEndOfTheFrame)
{
    auto frame = frameOf("7F 80 FF 02");
    std::fill(frame.begin() + 4, frame.end(), 0x11);
    EXPECT_EQ(DecodeSSP(frame, 0x35), "CMD: SET INHIBITS Data: " + repeated("11,", 252) + "0,0");

    frame = frameOf("7F 80 FD F0"); // DISABLED up to a channel event whose channel lies past
    std::fill(frame.begin() + 4, frame.end() - 1, 0xE8);
    frame[255] = 0xEF;
    EXPECT_EQ(DecodeSSP(frame, 0x55),
              "GENERIC RSP: OK Events/Data: " + repeated("DISABLED ", 251) + "NOTE READ 0 ");

    frame = frameOf("FC FF DC");
    std::string expected = "HOST CMD: PROG SIG  Data: 3";
    for (int k = 3; k <= 255; ++k) {
        frame[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
        expected += k > 3 && k <= 252 ? "," + hexOf(k) : "";
    }
    EXPECT_EQ(DecodeID003(frame, 0xAA), expected);
}

} // namespace
