// Fuzzes parseIdentity, the reading of the identity text of command 16 and of an update file.
// Input: the identity bytes as the device or the file gives them.
#include "FuzzCheck.h"
#include "link/Identity.h"
#include "link/XLT_protocol.h"

#include <span>

using namespace xlt;

namespace {

/// The characters of bytes [from, from + count) that the input holds.
std::string field(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t count)
{
    if (from >= bytes.size())
        return {};
    const auto part = bytes.subspan(from, std::min(count, bytes.size() - from));
    return std::string(part.begin(), part.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy on the heap of exactly the input's size: a read past its end trips AddressSanitizer.
    const std::vector<std::uint8_t> heap(data, data + size);
    const std::span<const std::uint8_t> bytes(heap);

    const link::Identity asIs = link::parseIdentity(bytes, link::FirmwareStyle::AsIs);
    const link::Identity dotted = link::parseIdentity(bytes, link::FirmwareStyle::WithPoint);
    // Every field is made of the input's own bytes at its own positions, nothing more.
    fuzz::check(asIs.interfaceCode == link::ProtocolNameToCode(field(bytes, 0, 4)),
                "interface from bytes 0-3");
    fuzz::check(asIs.firmware == field(bytes, 5, 4), "firmware from bytes 5-8");
    fuzz::check(asIs.modNumber == field(bytes, 9, 4), "mod number from bytes 9-12");
    fuzz::check(dotted.firmware == field(bytes, 5, 2) + "." + field(bytes, 7, 2),
                "firmware with its point after two characters");
    fuzz::check(dotted.interfaceCode == asIs.interfaceCode && dotted.modNumber == asIs.modNumber,
                "the style changes the firmware field only");

    const auto fileLines = link::fileIdentityLines(dotted);
    const auto targetLines = link::targetIdentityLines(dotted);
    fuzz::check(fileLines.size() == 4 && targetLines.size() == 5, "panel line counts");
    fuzz::check(fileLines[3].ends_with(dotted.modNumber) &&
                    targetLines[3].ends_with(asIs.modNumber),
                "lines end with their field");
    return 0;
}
