// Fuzzes the emulator's state file reader (parseStateText). Input: the file's text. Checks: a
// block that is read is written back as a state file that reads the same block.
#include "FuzzCheck.h"
#include "core/Text.h"
#include "sim/StateFile.h"

#include <string_view>

using namespace xlt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto block = sim::parseStateText(text);
    if (!block)
        return 0;
    fuzz::check(text.find("block=") != std::string_view::npos, "a block needs its line");
    std::string written = "# xlt-sim device state\r\nblock=";
    for (std::uint8_t byte : *block)
        core::appendHex2(written, byte);
    fuzz::check(sim::parseStateText(written) == block, "the block reads back the same");
    return 0;
}
