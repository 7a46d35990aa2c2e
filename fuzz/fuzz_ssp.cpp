// Fuzzes DecodeSSP. Input: the record tag, then the frame bytes (up to 256 go into the working
// frame). The frame lives alone on the heap, so a read past its 256 bytes trips AddressSanitizer.
#include "FuzzCheck.h"
#include "monitor/SSPData.h"

#include <algorithm>
#include <memory>

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t tag = data[0];
    auto frame = std::make_unique<monitor::WorkingFrame>();
    frame->fill(0);
    std::copy_n(data + 1, std::min(size - 1, frame->size()), frame->begin());

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
