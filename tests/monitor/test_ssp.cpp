// The SSP decoder: every name of the three tables, the worked examples, and the frame edges.
#include "monitor/SSPData.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using xlt::monitor::DecodeSSP;
using xlt::monitor::WorkingFrame;

constexpr std::uint8_t kCommand = 0x35;
constexpr std::uint8_t kResponse = 0x55;

WorkingFrame frameOf(std::initializer_list<int> bytes)
{
    WorkingFrame frame{};
    std::size_t i = 0;
    for (int b : bytes)
        frame[i++] = static_cast<std::uint8_t>(b);
    return frame;
}

std::string hexOf(int code)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    if (code >= 16)
        text += digits[code >> 4];
    text += digits[code & 15];
    return text;
}

const std::map<int, std::string> kCommandNames = {
    {0x01, "RESET"},
    {0x02, "SET INHIBITS"},
    {0x03, "DISPLAY ON"},
    {0x04, "DISPLAY OFF"},
    {0x05, "SETUP REQ"},
    {0x06, "HOST PROTOCOL"},
    {0x07, "POLL"},
    {0x08, "REJECT ESCROW NOTE"},
    {0x09, "DISABLE"},
    {0x0A, "ENABLE"},
    {0x0B, "ROGRAM"},
    {0x0C, "SERIAL NUMBER"},
    {0x0D, "UNIT DATA REQ"},
    {0x0E, "CHANNEL VALUE REQ"},
    {0x0F, "CHANNEL SEQ REQ"},
    {0x10, "CHANNEL RE_TEACH REQ"},
    {0x11, "SYNC"},
    {0x17, "LAST REJECT CODE"},
    {0x18, "HOLD ESCROW NOTE"},
    {0x19, "ENABLE PROTOCOL EVENTS"},
    {0x23, "GET BARCODE CONFIG"},
    {0x24, "SET BARCODE CONFIG"},
    {0x25, "GET BARCODE INHIBIT"},
    {0x26, "SET BARCODE INHIBIT"},
    {0x27, "GET BARCODE DATA"},
    {0x30, "MANU EXT"},
};

const std::map<int, std::string> kGenericNames = {
    {0xF0, "OK"},
    {0xF2, "COMMAND UNKNOWN"},
    {0xF3, "WRONG PARAMETERS"},
    {0xF4, "PARAMETER RANGE ERROE"},
    {0xF5, "COMMAND CAN NOT BE PROCESSED"},
    {0xF6, "SOFTWARE ERROR"},
    {0xF8, "FAIL"},
    {0xFA, "KEY NOT SET"},
};

struct EventName
{
    std::string text;
    bool channel;
};

const std::map<int, EventName> kEventNames = {
    {0xF1, {"RESET ", false}},
    {0xEF, {"NOTE READ ", true}},
    {0xEE, {"NOTE CREDIT ", true}},
    {0xED, {"NOTE REJECTING ", false}},
    {0xEC, {"NOTE REJECTED ", false}},
    {0xCC, {"NOTE STACKING ", false}},
    {0xEB, {"NOTE STACKED ", false}},
    {0xEA, {"SAFE JAM ", false}},
    {0xE9, {"UNSAFE JAM ", false}},
    {0xE8, {"DISABLED ", false}},
    {0xE7, {"STACKER FULL ", false}},
    {0xE6, {"FRAUD ATTEMPT ", true}},
    {0xE1, {"NOTE CLEARED FRONT ", true}},
    {0xE2, {"NOTE CLEARED CASHBOX ", true}},
    {0xE3, {"CASHBOX REMOVED ", false}},
    {0xE4, {"CASHBOX REPLACED ", false}},
    {0xE5, {"BARCODE VALIDATED ", false}},
    {0xD1, {"BARCODE ACK ", false}},
};

// Every code 0..255: a listed one gives its name, any other the unknown text.
TEST(SspDecoder, EveryCommandCode)
{
    for (int code = 0; code < 256; ++code) {
        const auto it = kCommandNames.find(code);
        const std::string expected =
            it == kCommandNames.end() ? "UNKNOWN COMMAND " : "CMD: " + it->second + " ";
        EXPECT_EQ(DecodeSSP(frameOf({0x7F, 0x80, 0x01, code}), kCommand), expected)
            << "code " << hexOf(code);
    }
}

TEST(SspDecoder, EveryGenericResponseCode)
{
    for (int code = 0; code < 256; ++code) {
        const auto it = kGenericNames.find(code);
        const std::string name = it == kGenericNames.end() ? "UNKNOWN GENERIC RSP" : it->second;
        EXPECT_EQ(DecodeSSP(frameOf({0x7F, 0x80, 0x01, code}), kResponse), "GENERIC RSP: " + name)
            << "code " << hexOf(code);
    }
}

// The byte after the event is F1 (241, also the RESET event): an event with a channel prints it
// in decimal, any other event is followed by the RESET event.
TEST(SspDecoder, EveryEventCode)
{
    for (int code = 0; code < 256; ++code) {
        const auto it = kEventNames.find(code);
        std::string events;
        if (it == kEventNames.end())
            events = hexOf(code) + " RESET ";
        else if (it->second.channel)
            events = it->second.text + "241 ";
        else
            events = it->second.text + "RESET ";
        EXPECT_EQ(DecodeSSP(frameOf({0x7F, 0x80, 0x03, 0xF0, code, 0xF1}), kResponse),
                  "GENERIC RSP: OK Events/Data: " + events)
            << "code " << hexOf(code);
    }
}

struct Example
{
    std::uint8_t tag;
    std::vector<int> frame;
    std::string line;
};

TEST(SspDecoder, WorkedExamplesAndEdges)
{
    const std::vector<Example> examples = {
        {kCommand, {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}, "CMD: POLL "},
        {kCommand, {0x7F, 0x80, 0x03, 0x02, 0xFF, 0xFF, 0x25, 0xA4},
         "CMD: SET INHIBITS Data: FF,FF"},
        {kCommand, {0x7F, 0x80, 0x02, 0x0A, 0x05, 0x3C, 0x11}, "CMD: ENABLE Data: 5"},
        {kCommand, {0x7F, 0x80, 0x01, 0x99, 0x11, 0x22}, "UNKNOWN COMMAND "},
        {kResponse, {0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80}, "GENERIC RSP: OK"},
        {kResponse, {0x7F, 0x80, 0x03, 0xF0, 0xEF, 0x02, 0x11, 0x22},
         "GENERIC RSP: OK Events/Data: NOTE READ 2 "},
        {kResponse, {0x7F, 0x80, 0x04, 0xF0, 0xE8, 0xE2, 0x01, 0x11, 0x22},
         "GENERIC RSP: OK Events/Data: DISABLED NOTE CLEARED CASHBOX 1 "},
        {kResponse, {0x7F, 0x80, 0x02, 0xF0, 0x0C, 0x11, 0x22}, "GENERIC RSP: OK Events/Data: C "},
        // LEN 0 and 1 with a command: no data part, the line ends with the space.
        {kCommand, {0x7F, 0x80, 0x00, 0x11}, "CMD: SYNC "},
        {kCommand, {0x7F, 0x80, 0x01, 0x11, 0xAB, 0xCD}, "CMD: SYNC "},
        // LEN 0 and 1 with a response: no events part and no trailing space.
        {kResponse, {0x7F, 0x80, 0x00, 0xF0}, "GENERIC RSP: OK"},
        // Two events with channels in a row.
        {kResponse, {0x7F, 0x80, 0x05, 0xF0, 0xEF, 0x01, 0xEE, 0x01},
         "GENERIC RSP: OK Events/Data: NOTE READ 1 NOTE CREDIT 1 "},
        // An event with a channel in the last position takes the first CRC byte as its channel.
        {kResponse, {0x7F, 0x80, 0x02, 0xF0, 0xEE, 0x9C, 0x22},
         "GENERIC RSP: OK Events/Data: NOTE CREDIT 156 "},
        // Channels in decimal without leading zeros; data in hex without leading zeros.
        {kResponse, {0x7F, 0x80, 0x09, 0xF0, 0xEF, 0x00, 0xEF, 0x0A, 0xEF, 0x63, 0xEF, 0xFF},
         "GENERIC RSP: OK Events/Data: NOTE READ 0 NOTE READ 10 NOTE READ 99 NOTE READ 255 "},
        {kCommand, {0x7F, 0x80, 0x05, 0x24, 0x00, 0x0F, 0x10, 0xA0},
         "CMD: SET BARCODE CONFIG Data: 0,F,10,A0"},
        // A frame shorter than its LEN reads zeros.
        {kCommand, {0x7F, 0x80, 0x04, 0x02, 0x07}, "CMD: SET INHIBITS Data: 7,0,0"},
        // Other tags give nothing, also for a well-formed SSP frame.
        {0xAA, {0x7F, 0x80, 0x01, 0x07, 0x12, 0x02}, ""},
        {0xCA, {0x7F, 0x80, 0x01, 0xF0, 0x23, 0x80}, ""},
    };
    for (const Example &example : examples) {
        WorkingFrame frame{};
        for (std::size_t i = 0; i < example.frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(example.frame[i]);
        EXPECT_EQ(DecodeSSP(frame, example.tag), example.line)
            << "tag " << hexOf(example.tag) << ", LEN " << example.frame[2];
    }
}

// LEN 253 to 255 reach past the 256-byte frame: those positions read 0, so the line still lists
// LEN-1 data bytes.
TEST(SspDecoder, LengthBeyondTheWorkingFrame)
{
    WorkingFrame frame{};
    frame.fill(0x11);
    frame[0] = 0x7F;
    frame[2] = 0xFF;
    frame[3] = 0x02;
    std::string expected = "CMD: SET INHIBITS Data: ";
    for (int k = 4; k <= 257; ++k)
        expected += std::string(k > 4 ? "," : "") + (k <= 255 ? "11" : "0");
    EXPECT_EQ(DecodeSSP(frame, kCommand), expected);

    // The last event position holds a channel event whose channel lies past the frame.
    frame.fill(0xE8); // DISABLED
    frame[0] = 0x7F;
    frame[2] = 0xFD; // last position 255
    frame[3] = 0xF0;
    frame[255] = 0xEF;
    std::string events;
    for (int k = 4; k < 255; ++k)
        events += "DISABLED ";
    EXPECT_EQ(DecodeSSP(frame, kResponse), "GENERIC RSP: OK Events/Data: " + events + "NOTE READ 0 ");
}

} // namespace
