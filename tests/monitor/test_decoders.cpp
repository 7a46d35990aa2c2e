// The SSP and ID003 decoders: every name of every table, worked examples, frame edges.
#include "MonitorTest.h"
#include "monitor/ID003Data.h"
#include "monitor/SSPData.h"

#include <map>

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

// clang-format off
const std::map<int, std::string> kSspCommands = {
    {0x01, "RESET"}, {0x02, "SET INHIBITS"}, {0x03, "DISPLAY ON"}, {0x04, "DISPLAY OFF"},
    {0x05, "SETUP REQ"}, {0x06, "HOST PROTOCOL"}, {0x07, "POLL"}, {0x08, "REJECT ESCROW NOTE"},
    {0x09, "DISABLE"}, {0x0A, "ENABLE"}, {0x0B, "ROGRAM"}, {0x0C, "SERIAL NUMBER"},
    {0x0D, "UNIT DATA REQ"}, {0x0E, "CHANNEL VALUE REQ"}, {0x0F, "CHANNEL SEQ REQ"},
    {0x10, "CHANNEL RE_TEACH REQ"}, {0x11, "SYNC"}, {0x17, "LAST REJECT CODE"},
    {0x18, "HOLD ESCROW NOTE"}, {0x19, "ENABLE PROTOCOL EVENTS"}, {0x23, "GET BARCODE CONFIG"},
    {0x24, "SET BARCODE CONFIG"}, {0x25, "GET BARCODE INHIBIT"}, {0x26, "SET BARCODE INHIBIT"},
    {0x27, "GET BARCODE DATA"}, {0x30, "MANU EXT"}};
const std::map<int, std::string> kSspGeneric = {
    {0xF0, "OK"}, {0xF2, "COMMAND UNKNOWN"}, {0xF3, "WRONG PARAMETERS"},
    {0xF4, "PARAMETER RANGE ERROE"}, {0xF5, "COMMAND CAN NOT BE PROCESSED"},
    {0xF6, "SOFTWARE ERROR"}, {0xF8, "FAIL"}, {0xFA, "KEY NOT SET"}};
// The events marked true are followed by a channel number.
const std::map<int, std::pair<std::string, bool>> kSspEvents = {
    {0xF1, {"RESET ", false}}, {0xEF, {"NOTE READ ", true}}, {0xEE, {"NOTE CREDIT ", true}},
    {0xED, {"NOTE REJECTING ", false}}, {0xEC, {"NOTE REJECTED ", false}},
    {0xCC, {"NOTE STACKING ", false}}, {0xEB, {"NOTE STACKED ", false}},
    {0xEA, {"SAFE JAM ", false}}, {0xE9, {"UNSAFE JAM ", false}}, {0xE8, {"DISABLED ", false}},
    {0xE7, {"STACKER FULL ", false}}, {0xE6, {"FRAUD ATTEMPT ", true}},
    {0xE1, {"NOTE CLEARED FRONT ", true}}, {0xE2, {"NOTE CLEARED CASHBOX ", true}},
    {0xE3, {"CASHBOX REMOVED ", false}}, {0xE4, {"CASHBOX REPLACED ", false}},
    {0xE5, {"BARCODE VALIDATED ", false}}, {0xD1, {"BARCODE ACK ", false}}};
const std::map<int, std::string> kHostCommands = {
    {0x11, "STATUS REQUEST "}, {0x40, "RESET "}, {0x41, "STACK 1 "}, {0x42, "STACK 2 "},
    {0x43, "RETURN "}, {0x44, "HOLD "}, {0x45, "WAIT "}, {0x50, "ACK "}, {0x80, "GET ENABLE "},
    {0x81, "GET SECURITY "}, {0x82, "GET COMS MODE "}, {0x83, "GET INHIBIT "},
    {0x84, "GET DIRECTION "}, {0x85, "GET OPTIONAL FUNCTION "}, {0x88, "VERSION REQUEST "},
    {0x89, "BOOT VERSION REQUEST "}, {0x8A, "CURRENCY ASSIG REQUEST "}, {0xC0, "SET ENABLE "},
    {0xC1, "SET SECURITY "}, {0xC2, "SET COMS MODE "}, {0xC3, "SET INHIBIT "},
    {0xC4, "SET DIRECTION "}, {0xC5, "SET OPTIONAL FUNCTION "}, {0xC6, "SET BARCODE FUNCTION "},
    {0xC7, "SET BARCODE INHIBIT "}, {0xDC, "PROG SIG "}};
const std::map<int, std::string> kDeviceResponses = {
    {0x05, "ENQUIRY REQUEST "}, {0x11, "IDLING "}, {0x12, "ACCEPTING "}, {0x13, "ESCROW "},
    {0x14, "STACKING "}, {0x15, "VEND VALID "}, {0x16, "STACKED "}, {0x17, "REJECTING "},
    {0x18, "RETURNING "}, {0x19, "HOLDING "}, {0x1A, "DISABLED "}, {0x1B, "INITIALISING "},
    {0x40, "POWER UP "}, {0x41, "POWER UP BILL IN ACCEPTOR "}, {0x42, "POWER UP BILL IN STACKER "},
    {0x43, "STACKER FULL "}, {0x44, "STACKER OPEN "}, {0x45, "JAM ACCEPTOR "},
    {0x46, "JAM STACKER "}, {0x47, "PAUSE "}, {0x48, "CHEATED "}, {0x49, "FAILURE "},
    {0x4A, "COMS ERROR "}, {0x4B, "INVALID COMMAND "}, {0x50, "ACK "}, {0xDE, "PROG SIG BUSY "},
    {0xDF, "PROG SIG END "}};
// clang-format on

// Every code 0..255 of every table. The SSP event is followed by F1 (a channel, or RESET); the
// device echoes ID003 setting and request commands under their host command names.
TEST(Decoders, EveryCodeOfEveryTable)
{
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE("code " + hexOf(code));
        const auto byte = static_cast<std::uint8_t>(code);
        auto ssp = frameOf("7F 80 01");
        ssp[3] = byte;
        EXPECT_EQ(DecodeSSP(ssp, 0x35), kSspCommands.contains(code)
                                            ? "CMD: " + kSspCommands.at(code) + " "
                                            : "UNKNOWN COMMAND ");
        EXPECT_EQ(DecodeSSP(ssp, 0x55),
                  "GENERIC RSP: " +
                      (kSspGeneric.contains(code) ? kSspGeneric.at(code) : "UNKNOWN GENERIC RSP"));
        ssp = frameOf("7F 80 03 F0 00 F1");
        ssp[4] = byte;
        const auto event =
            kSspEvents.contains(code) ? kSspEvents.at(code) : std::pair{hexOf(code) + " ", false};
        EXPECT_EQ(DecodeSSP(ssp, 0x55), "GENERIC RSP: OK Events/Data: " + event.first +
                                            (event.second ? "241 " : "RESET "));

        auto id003 = frameOf("FC 05");
        id003[2] = byte;
        const bool echoed = (code >= 0x80 && code <= 0x85) || (code >= 0x88 && code <= 0x8A) ||
                            (code >= 0xC0 && code <= 0xC7);
        const auto &responses = echoed ? kHostCommands : kDeviceResponses;
        EXPECT_EQ(DecodeID003(id003, 0xAA),
                  "HOST CMD: " +
                      (kHostCommands.contains(code) ? kHostCommands.at(code) : "UNKNOWN COMMAND ") +
                      " ");
        EXPECT_EQ(DecodeID003(id003, 0xCA),
                  "XLT RSP: " +
                      (responses.contains(code) ? responses.at(code) : "UNKNOWN RESPONSE") + " ");
    }
}

// Frames starting 7F go to the SSP decoder, the others to the ID003 one.
TEST(Decoders, WorkedExamplesAndEdges)
{
    const std::tuple<std::uint8_t, const char *, std::string> cases[] = {
        {0x35, "7F 80 01 07 12 02", "CMD: POLL "},
        {0x35, "7F 80 03 02 FF FF 25 A4", "CMD: SET INHIBITS Data: FF,FF"},
        {0x35, "7F 80 02 0A 05 3C 11", "CMD: ENABLE Data: 5"},
        {0x35, "7F 80 01 99 11 22", "UNKNOWN COMMAND "},
        {0x55, "7F 80 01 F0 23 80", "GENERIC RSP: OK"},
        {0x55, "7F 80 03 F0 EF 02 11 22", "GENERIC RSP: OK Events/Data: NOTE READ 2 "},
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
        {0xAA, "FC 05 11 27 56", "HOST CMD: STATUS REQUEST  "},
        {0xCA, "FC 05 1A F4 E8", "XLT RSP: DISABLED  "},
        {0xAA, "FC 06 C3 00 04 D6", "HOST CMD: SET INHIBIT  Data: 0"},
        {0xCA, "FC 06 13 62 11 22", "XLT RSP: ESCROW  Data: 62"},
        {0xCA, "FC 05 99 11 22", "XLT RSP: UNKNOWN RESPONSE "},
        {0xAA, "FC 05 99 11 22", "HOST CMD: UNKNOWN COMMAND  "},
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
