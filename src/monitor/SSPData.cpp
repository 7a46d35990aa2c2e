#include "SSPData.h"

#include "core/Text.h"

#include <array>
#include <string_view>

namespace xlt::monitor {

namespace {

using namespace std::string_view_literals;

struct SspName
{
    std::uint8_t code;
    std::string_view text;
};

// Names of the commands the device sends to the validator (tag 0x35).
constexpr SspName kCommands[] = {
    {0x01, "RESET"sv},
    {0x02, "SET INHIBITS"sv},
    {0x03, "DISPLAY ON"sv},
    {0x04, "DISPLAY OFF"sv},
    {0x05, "SETUP REQ"sv},
    {0x06, "HOST PROTOCOL"sv},
    {0x07, "POLL"sv},
    {0x08, "REJECT ESCROW NOTE"sv},
    {0x09, "DISABLE"sv},
    {0x0A, "ENABLE"sv},
    {0x0B, "ROGRAM"sv},
    {0x0C, "SERIAL NUMBER"sv},
    {0x0D, "UNIT DATA REQ"sv},
    {0x0E, "CHANNEL VALUE REQ"sv},
    {0x0F, "CHANNEL SEQ REQ"sv},
    {0x10, "CHANNEL RE_TEACH REQ"sv},
    {0x11, "SYNC"sv},
    {0x17, "LAST REJECT CODE"sv},
    {0x18, "HOLD ESCROW NOTE"sv},
    {0x19, "ENABLE PROTOCOL EVENTS"sv},
    {0x23, "GET BARCODE CONFIG"sv},
    {0x24, "SET BARCODE CONFIG"sv},
    {0x25, "GET BARCODE INHIBIT"sv},
    {0x26, "SET BARCODE INHIBIT"sv},
    {0x27, "GET BARCODE DATA"sv},
    {0x30, "MANU EXT"sv},
};

// Generic response codes, the first data byte of every validator response (tag 0x55).
constexpr SspName kGenericResponses[] = {
    {0xF0, "OK"sv},
    {0xF2, "COMMAND UNKNOWN"sv},
    {0xF3, "WRONG PARAMETERS"sv},
    {0xF4, "PARAMETER RANGE ERROE"sv},
    {0xF5, "COMMAND CAN NOT BE PROCESSED"sv},
    {0xF6, "SOFTWARE ERROR"sv},
    {0xF8, "FAIL"sv},
    {0xFA, "KEY NOT SET"sv},
};

struct Event
{
    std::uint8_t code;
    std::string_view text;
    bool hasChannel; // followed by one data byte, printed in decimal
};

// Events that follow the generic response code; each text ends with a space.
constexpr Event kEvents[] = {
    {0xF1, "RESET "sv, false},
    {0xEF, "NOTE READ "sv, true},
    {0xEE, "NOTE CREDIT "sv, true},
    {0xED, "NOTE REJECTING "sv, false},
    {0xEC, "NOTE REJECTED "sv, false},
    {0xCC, "NOTE STACKING "sv, false},
    {0xEB, "NOTE STACKED "sv, false},
    {0xEA, "SAFE JAM "sv, false},
    {0xE9, "UNSAFE JAM "sv, false},
    {0xE8, "DISABLED "sv, false},
    {0xE7, "STACKER FULL "sv, false},
    {0xE6, "FRAUD ATTEMPT "sv, true},
    {0xE1, "NOTE CLEARED FRONT "sv, true},
    {0xE2, "NOTE CLEARED CASHBOX "sv, true},
    {0xE3, "CASHBOX REMOVED "sv, false},
    {0xE4, "CASHBOX REPLACED "sv, false},
    {0xE5, "BARCODE VALIDATED "sv, false},
    {0xD1, "BARCODE ACK "sv, false},
};

// Lookup by code; an empty text marks a code that is not listed.
template<typename Entry, std::size_t N>
constexpr std::array<Entry, 256> byCode(const Entry (&entries)[N])
{
    std::array<Entry, 256> table{};
    for (const Entry &entry : entries)
        table[entry.code] = entry;
    return table;
}

constexpr auto kCommandByCode = byCode(kCommands);
constexpr auto kGenericByCode = byCode(kGenericResponses);
constexpr auto kEventByCode = byCode(kEvents);

constexpr std::string_view kUnknownCommand = "UNKNOWN COMMAND"sv;
constexpr std::string_view kUnknownGeneric = "UNKNOWN GENERIC RSP"sv;

// LEN can place positions up to 258 beyond the 256-byte frame; those read 0 like every other
// position past the captured bytes, so the line keeps the shape that LEN announces.
std::uint8_t byteAt(const WorkingFrame &frame, std::size_t index)
{
    return index < frame.size() ? frame[index] : std::uint8_t{0};
}

void appendDecimal(std::string &out, std::uint8_t value)
{
    if (value >= 100)
        out += static_cast<char>('0' + value / 100);
    if (value >= 10)
        out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

std::string decodeCommand(const WorkingFrame &frame)
{
    const std::size_t len = frame[2];
    std::string out;
    out.reserve(40 + (len > 1 ? 3 * len : 0));
    const std::string_view name = kCommandByCode[frame[3]].text;
    if (name.empty()) {
        out += kUnknownCommand;
    } else {
        out += "CMD: "sv;
        out += name;
    }
    out += ' ';
    if (len > 1) {
        out += "Data: "sv;
        for (std::size_t k = 4; k <= len + 2; ++k) {
            if (k > 4)
                out += ',';
            core::appendHexNoPad(out, byteAt(frame, k));
        }
    }
    return out;
}

std::string decodeResponse(const WorkingFrame &frame)
{
    const std::size_t len = frame[2];
    const std::string_view generic = kGenericByCode[frame[3]].text;
    std::string out;
    out.reserve(48 + (len > 1 ? 4 * len : 0));
    out += "GENERIC RSP: "sv;
    out += generic.empty() ? kUnknownGeneric : generic;
    if (len < 2)
        return out;
    out += " Events/Data: "sv;
    const std::size_t last = len + 2;
    for (std::size_t k = 4; k <= last; ++k) {
        const std::uint8_t code = byteAt(frame, k);
        const Event &event = kEventByCode[code];
        if (event.text.empty()) {
            core::appendHexNoPad(out, code);
            out += ' ';
            continue;
        }
        out += event.text;
        if (event.hasChannel) {
            // An event in the last position still takes its channel: the first CRC byte.
            ++k;
            appendDecimal(out, byteAt(frame, k));
            out += ' ';
        }
    }
    return out;
}

} // namespace

std::string DecodeSSP(const WorkingFrame &frame, std::uint8_t tag)
{
    switch (tag) {
    case kTagTargetTx:
        return decodeCommand(frame);
    case kTagTargetRx:
        return decodeResponse(frame);
    default:
        return {};
    }
}

} // namespace xlt::monitor
