// Fuzzes DecodeID003. Input: the record tag, then the frame bytes (up to 256 go into the working
// frame, see fuzz::frameFromInput).
#include "FuzzCheck.h"
#include "monitor/ID003Data.h"

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t tag = data[0];
    const auto frame = fuzz::frameFromInput(data, size);

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
