// Fuzzes DecodeID003. Input: the record tag, then the frame bytes (up to 256 go into the working
// frame). The frame lives alone on the heap, so a read past its 256 bytes trips AddressSanitizer.
#include "FuzzCheck.h"
#include "monitor/ID003Data.h"

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

    const std::string line = monitor::DecodeID003(*frame, tag);
    fuzz::check(fuzz::isPrintable(line), "ID003 line is printable");
    if (tag == monitor::kTagHostTx)
        fuzz::check(fuzz::startsWith(line, "HOST CMD: "), "ID003 command line starts right");
    else if (tag == monitor::kTagHostRx)
        fuzz::check(fuzz::startsWith(line, "XLT RSP: "), "ID003 response line starts right");
    else
        fuzz::check(line.empty(), "ID003 line is empty for other tags");
    return 0;
}
