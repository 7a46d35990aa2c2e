#include "ID003Data.h"

#include "core/Text.h"

#include <array>
#include <string_view>

namespace xlt::monitor {

namespace {

using namespace std::string_view_literals;

struct Id003Name
{
    std::uint8_t code;
    std::string_view text;
};

// Commands of the host (tag 0xAA); each name ends with a space.
constexpr Id003Name kHostCommands[] = {
    {0x11, "STATUS REQUEST "sv},
    {0x40, "RESET "sv},
    {0x41, "STACK 1 "sv},
    {0x42, "STACK 2 "sv},
    {0x43, "RETURN "sv},
    {0x44, "HOLD "sv},
    {0x45, "WAIT "sv},
    {0x50, "ACK "sv},
    {0x80, "GET ENABLE "sv},
    {0x81, "GET SECURITY "sv},
    {0x82, "GET COMS MODE "sv},
    {0x83, "GET INHIBIT "sv},
    {0x84, "GET DIRECTION "sv},
    {0x85, "GET OPTIONAL FUNCTION "sv},
    {0x88, "VERSION REQUEST "sv},
    {0x89, "BOOT VERSION REQUEST "sv},
    {0x8A, "CURRENCY ASSIG REQUEST "sv},
    {0xC0, "SET ENABLE "sv},
    {0xC1, "SET SECURITY "sv},
    {0xC2, "SET COMS MODE "sv},
    {0xC3, "SET INHIBIT "sv},
    {0xC4, "SET DIRECTION "sv},
    {0xC5, "SET OPTIONAL FUNCTION "sv},
    {0xC6, "SET BARCODE FUNCTION "sv},
    {0xC7, "SET BARCODE INHIBIT "sv},
    {0xDC, "PROG SIG "sv},
};

// Status and responses of the device (tag 0xCA); the device also echoes the setting and request
// commands, which take the host command names (added in responseTable()).
constexpr Id003Name kResponses[] = {
    {0x05, "ENQUIRY REQUEST "sv},
    {0x11, "IDLING "sv},
    {0x12, "ACCEPTING "sv},
    {0x13, "ESCROW "sv},
    {0x14, "STACKING "sv},
    {0x15, "VEND VALID "sv},
    {0x16, "STACKED "sv},
    {0x17, "REJECTING "sv},
    {0x18, "RETURNING "sv},
    {0x19, "HOLDING "sv},
    {0x1A, "DISABLED "sv},
    {0x1B, "INITIALISING "sv},
    {0x40, "POWER UP "sv},
    {0x41, "POWER UP BILL IN ACCEPTOR "sv},
    {0x42, "POWER UP BILL IN STACKER "sv},
    {0x43, "STACKER FULL "sv},
    {0x44, "STACKER OPEN "sv},
    {0x45, "JAM ACCEPTOR "sv},
    {0x46, "JAM STACKER "sv},
    {0x47, "PAUSE "sv},
    {0x48, "CHEATED "sv},
    {0x49, "FAILURE "sv},
    {0x4A, "COMS ERROR "sv},
    {0x4B, "INVALID COMMAND "sv},
    {0x50, "ACK "sv},
    {0xDE, "PROG SIG BUSY "sv},
    {0xDF, "PROG SIG END "sv},
};

using Table = std::array<std::string_view, 256>;

constexpr Table hostCommandTable()
{
    Table table{};
    table.fill("UNKNOWN COMMAND "sv);
    for (const Id003Name &entry : kHostCommands)
        table[entry.code] = entry.text;
    return table;
}

constexpr Table kHostCommandByCode = hostCommandTable();

constexpr bool isEchoedCommand(std::uint8_t code)
{
    return (code >= 0x80 && code <= 0x85) || (code >= 0x88 && code <= 0x8A) ||
           (code >= 0xC0 && code <= 0xC7);
}

constexpr Table responseTable()
{
    Table table{};
    table.fill("UNKNOWN RESPONSE"sv);
    for (const Id003Name &entry : kResponses)
        table[entry.code] = entry.text;
    for (std::size_t code = 0; code < table.size(); ++code) {
        if (isEchoedCommand(static_cast<std::uint8_t>(code)))
            table[code] = kHostCommandByCode[code];
    }
    return table;
}

constexpr Table kResponseByCode = responseTable();

} // namespace

std::string DecodeID003(const WorkingFrame &frame, std::uint8_t tag)
{
    std::string_view prefix;
    std::string_view name;
    if (tag == kTagHostTx) {
        prefix = "HOST CMD: "sv;
        name = kHostCommandByCode[frame[2]];
    } else if (tag == kTagHostRx) {
        prefix = "XLT RSP: "sv;
        name = kResponseByCode[frame[2]];
    } else {
        return {};
    }
    // N counts the code byte and the data bytes; below 4 it is negative (a malformed frame),
    // which simply means no data part.
    const int count = int{frame[1]} - 4;
    std::string out;
    out.reserve(48 + (count >= 2 ? 3 * static_cast<std::size_t>(count) : 0));
    out += prefix;
    out += name;
    out += ' ';
    if (count >= 2) {
        out += "Data: "sv;
        // The last index, count + 1, is at most 252: always inside the frame.
        for (int k = 3; k <= count + 1; ++k) {
            if (k > 3)
                out += ',';
            core::appendHexNoPad(out, frame[static_cast<std::size_t>(k)]);
        }
    }
    return out;
}

} // namespace xlt::monitor
