// Fuzzes xltctl decode's hexadecimal input. Input: the text of a replies file. Checks: no line
// is held beyond the limit; every parsed line has at most 255 bytes and prints back (as spaced
// pairs) to text that parses to the same bytes; a refusal says why.
#include "FuzzCheck.h"
#include "HexInput.h"
#include "core/Text.h"

#include <sstream>

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    std::string line;
    bool tooLong = false;
    std::size_t taken = 0;
    while (cli::readHexLine(in, line, tooLong)) {
        fuzz::check(line.size() <= cli::kMaxHexLineChars, "a line within the limit");
        fuzz::check(!tooLong || line.empty(), "a long line is not kept");
        fuzz::check(line.find('\n') == std::string::npos, "no LF inside a line");
        taken += line.size();
        std::string problem;
        const auto bytes = cli::parseHex(line, problem);
        fuzz::check(bytes.has_value() == problem.empty(), "bytes or a reason");
        if (!bytes)
            continue;
        fuzz::check(bytes->size() <= cli::kMaxHexBytes, "at most 255 bytes");
        std::string printed;
        for (std::uint8_t byte : *bytes) {
            core::appendHex2(printed, byte);
            printed += ' ';
        }
        std::string again;
        fuzz::check(cli::parseHex(printed, again) == bytes, "printed bytes parse back");
    }
    fuzz::check(taken <= size, "nothing invented");
    return 0;
}
