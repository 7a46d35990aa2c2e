// The ID003 decoder: every name of both tables, the worked examples, and the length edges.
#include "monitor/ID003Data.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using xlt::monitor::DecodeID003;
using xlt::monitor::WorkingFrame;

constexpr std::uint8_t kHostCommand = 0xAA;
constexpr std::uint8_t kDeviceResponse = 0xCA;

std::string hexOf(int code)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    if (code >= 16)
        text += digits[code >> 4];
    text += digits[code & 15];
    return text;
}

WorkingFrame frameOf(const std::vector<int> &bytes)
{
    WorkingFrame frame{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(bytes[i]);
    return frame;
}

const std::map<int, std::string> kHostCommands = {
    {0x11, "STATUS REQUEST "},
    {0x40, "RESET "},
    {0x41, "STACK 1 "},
    {0x42, "STACK 2 "},
    {0x43, "RETURN "},
    {0x44, "HOLD "},
    {0x45, "WAIT "},
    {0x50, "ACK "},
    {0x80, "GET ENABLE "},
    {0x81, "GET SECURITY "},
    {0x82, "GET COMS MODE "},
    {0x83, "GET INHIBIT "},
    {0x84, "GET DIRECTION "},
    {0x85, "GET OPTIONAL FUNCTION "},
    {0x88, "VERSION REQUEST "},
    {0x89, "BOOT VERSION REQUEST "},
    {0x8A, "CURRENCY ASSIG REQUEST "},
    {0xC0, "SET ENABLE "},
    {0xC1, "SET SECURITY "},
    {0xC2, "SET COMS MODE "},
    {0xC3, "SET INHIBIT "},
    {0xC4, "SET DIRECTION "},
    {0xC5, "SET OPTIONAL FUNCTION "},
    {0xC6, "SET BARCODE FUNCTION "},
    {0xC7, "SET BARCODE INHIBIT "},
    {0xDC, "PROG SIG "},
};

const std::map<int, std::string> kResponses = {
    {0x05, "ENQUIRY REQUEST "},
    {0x11, "IDLING "},
    {0x12, "ACCEPTING "},
    {0x13, "ESCROW "},
    {0x14, "STACKING "},
    {0x15, "VEND VALID "},
    {0x16, "STACKED "},
    {0x17, "REJECTING "},
    {0x18, "RETURNING "},
    {0x19, "HOLDING "},
    {0x1A, "DISABLED "},
    {0x1B, "INITIALISING "},
    {0x40, "POWER UP "},
    {0x41, "POWER UP BILL IN ACCEPTOR "},
    {0x42, "POWER UP BILL IN STACKER "},
    {0x43, "STACKER FULL "},
    {0x44, "STACKER OPEN "},
    {0x45, "JAM ACCEPTOR "},
    {0x46, "JAM STACKER "},
    {0x47, "PAUSE "},
    {0x48, "CHEATED "},
    {0x49, "FAILURE "},
    {0x4A, "COMS ERROR "},
    {0x4B, "INVALID COMMAND "},
    {0x50, "ACK "},
    {0xDE, "PROG SIG BUSY "},
    {0xDF, "PROG SIG END "},
};

TEST(Id003Decoder, EveryHostCommandCode)
{
    for (int code = 0; code < 256; ++code) {
        const auto it = kHostCommands.find(code);
        const std::string name = it == kHostCommands.end() ? "UNKNOWN COMMAND " : it->second;
        EXPECT_EQ(DecodeID003(frameOf({0xFC, 0x05, code}), kHostCommand), "HOST CMD: " + name + " ")
            << "code " << hexOf(code);
    }
}

// The device echoes the setting and request commands under their host command names.
bool isEchoed(int code)
{
    return (code >= 0x80 && code <= 0x85) || (code >= 0x88 && code <= 0x8A)
           || (code >= 0xC0 && code <= 0xC7);
}

TEST(Id003Decoder, EveryResponseCode)
{
    for (int code = 0; code < 256; ++code) {
        const auto it = kResponses.find(code);
        std::string name = it == kResponses.end() ? "UNKNOWN RESPONSE" : it->second;
        if (isEchoed(code))
            name = kHostCommands.at(code);
        EXPECT_EQ(DecodeID003(frameOf({0xFC, 0x05, code}), kDeviceResponse),
                  "XLT RSP: " + name + " ")
            << "code " << hexOf(code);
    }
}

struct Example
{
    std::uint8_t tag;
    std::vector<int> frame;
    std::string line;
};

TEST(Id003Decoder, WorkedExamplesAndEdges)
{
    const std::vector<Example> examples = {
        {kHostCommand, {0xFC, 0x05, 0x11, 0x27, 0x56}, "HOST CMD: STATUS REQUEST  "},
        {kDeviceResponse, {0xFC, 0x05, 0x1A, 0xF4, 0xE8}, "XLT RSP: DISABLED  "},
        {kHostCommand, {0xFC, 0x06, 0xC3, 0x00, 0x04, 0xD6}, "HOST CMD: SET INHIBIT  Data: 0"},
        {kDeviceResponse, {0xFC, 0x06, 0x13, 0x62, 0x11, 0x22}, "XLT RSP: ESCROW  Data: 62"},
        {kDeviceResponse, {0xFC, 0x05, 0x99, 0x11, 0x22}, "XLT RSP: UNKNOWN RESPONSE "},
        {kHostCommand, {0xFC, 0x05, 0x99, 0x11, 0x22}, "HOST CMD: UNKNOWN COMMAND  "},
        // Several data bytes: hex without leading zeros, commas, no trailing comma.
        {kHostCommand, {0xFC, 0x09, 0xC0, 0x00, 0x0A, 0x10, 0xFF, 0x11, 0x22},
         "HOST CMD: SET ENABLE  Data: 0,A,10,FF"},
        // LNG 4 and below (N of 0 or negative) has no data part, like LNG 5.
        {kHostCommand, {0xFC, 0x04, 0x11, 0x77}, "HOST CMD: STATUS REQUEST  "},
        {kHostCommand, {0xFC, 0x03, 0x11, 0x77}, "HOST CMD: STATUS REQUEST  "},
        {kDeviceResponse, {0xFC, 0x00, 0x13, 0x77}, "XLT RSP: ESCROW  "},
        // A frame shorter than its LNG reads zeros.
        {kDeviceResponse, {0xFC, 0x08, 0x13, 0x62}, "XLT RSP: ESCROW  Data: 62,0,0"},
        // Other tags give nothing, also for a well-formed ID003 frame.
        {0x55, {0xFC, 0x05, 0x11, 0x27, 0x56}, ""},
        {0x35, {0xFC, 0x05, 0x1A, 0xF4, 0xE8}, ""},
    };
    for (const Example &example : examples) {
        EXPECT_EQ(DecodeID003(frameOf(example.frame), example.tag), example.line)
            << "tag " << hexOf(example.tag) << ", LNG " << example.frame[1];
    }
}

// LNG 255: N is 251 and the data bytes 3 to 252 are printed, every one inside the frame.
TEST(Id003Decoder, LongestFrame)
{
    WorkingFrame frame{};
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i);
    frame[0] = 0xFC;
    frame[1] = 0xFF;
    frame[2] = 0xDC;
    std::string expected = "HOST CMD: PROG SIG  Data: ";
    for (int k = 3; k <= 252; ++k)
        expected += (k > 3 ? "," : "") + hexOf(k);
    EXPECT_EQ(DecodeID003(frame, kHostCommand), expected);
}

} // namespace
