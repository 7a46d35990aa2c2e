// Fuzzes xlt-sim's argument parser. Input: the arguments separated by LF (at most 64). Checks:
// the parser either accepts with no error text or refuses with one line; accepted values lie in
// their ranges.
#include "FuzzCheck.h"
#include "sim/SimArgs.h"

#include <string>
#include <vector>

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
        if (data[i] == '\n')
            args.emplace_back();
        else
            args.back().push_back(static_cast<char>(data[i]));
    }
    if (size == 0)
        args.clear();
    sim::SimArgs parsed;
    std::string error;
    const bool ok = sim::parseSimArgs(args, parsed, error);
    fuzz::check(ok == error.empty(), "accepted exactly without an error");
    fuzz::check(error.find('\n') == std::string::npos, "a one-line error");
    if (!ok)
        return 0;
    fuzz::check(parsed.device.identity.size() <= sim::kMaxReplyData, "the identity fits a reply");
    fuzz::check(parsed.device.disconnectAfter >= 0, "a count, not a negative number");
    fuzz::check(parsed.device.firstStageCopy.count() >= 0 &&
                    parsed.device.firstStageCopy.count() <= 600000,
                "copy time in range");
    return 0;
}
