// Fuzzes DecodeSSP. Input: the record tag, then the frame bytes (up to 256 go into the working
// frame, see fuzz::frameFromInput).
#include "FuzzCheck.h"
#include "monitor/SSPData.h"

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t tag = data[0];
    const auto frame = fuzz::frameFromInput(data, size);

    const std::string line = monitor::DecodeSSP(*frame, tag);
    fuzz::check(fuzz::isPrintable(line), "SSP line is printable");
    if (tag == monitor::kTagTargetTx) {
        fuzz::check(fuzz::startsWith(line, "CMD: ") || fuzz::startsWith(line, "UNKNOWN COMMAND "),
                    "SSP command line starts with its name");
    } else if (tag == monitor::kTagTargetRx) {
        fuzz::check(fuzz::startsWith(line, "GENERIC RSP: "), "SSP response line starts right");
    } else {
        fuzz::check(line.empty(), "SSP line is empty for other tags");
    }
    return 0;
}
