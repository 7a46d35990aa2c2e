// Fuzzes the .ufg reader and the currency box values. Input: a configuration file's bytes.
// Checks: the sections found agree with the window's reading; a whole configuration written
// back and read again gives the same boxes when no value holds a delimiter; every box the
// device takes encodes to the byte its text reads as, and decodes back to that byte.
#include "FuzzCheck.h"
#include "pr01/ConfigBlock.h"
#include "pr01/UfgFile.h"

#include <string_view>

using namespace xlt;
using namespace xlt::pr01;

namespace {

// A value the file format carries unchanged: no delimiter, no blank at its start, no quote.
bool survivesAFile(const std::string &value)
{
    return value.find_first_of(",\r\n") == std::string::npos &&
           (value.empty() || (value[0] != ' ' && value[0] != '\t' && value[0] != '"'));
}

bool allSurvive(const Pr01Texts &texts)
{
    if (!survivesAFile(texts.version) || !survivesAFile(texts.bootVersion))
        return false;
    for (std::size_t row = 0; row < kRowCount; ++row)
        for (Column column : {Column::Code, Column::Country, Column::Denom, Column::Exp})
            if (!survivesAFile(cell(texts, row, column)))
                return false;
    return true;
}

void checkBlock(const Pr01Texts &texts)
{
    const EncodeResult encoded = encodeConfigBlock(texts);
    fuzz::check(encoded.block.has_value() == encoded.error.empty(), "a block or a reason");
    if (!encoded.block)
        return;
    const Pr01Texts decoded = decodeConfigBlock(*encoded.block);
    for (std::size_t row = 0; row < kRowCount; ++row) {
        for (Column column : {Column::Code, Column::Country, Column::Denom, Column::Exp}) {
            const std::uint32_t value = hexTextValue(cell(texts, row, column));
            fuzz::check(value <= 0xFF, "an encoded value fits a byte");
            fuzz::check(hexTextValue(cell(decoded, row, column)) == value,
                        "a box decodes to the value it was encoded from");
            fuzz::check(cell(decoded, row, column).size() == 2, "two hex digits per value");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    Pr01Texts boxes = Pr01Texts::initial();
    const UfgSections found = applyUfgSections(content, boxes);
    Pr01Texts again = Pr01Texts::initial();
    fuzz::check(applyUfgText(content, again) == !found.cut, "window reading agrees");
    fuzz::check(again == boxes, "the same boxes either way");
    fuzz::check(hexTextValue(std::string(content)) <= 0xFFFFFFFFu, "value saturates");
    checkBlock(boxes);

    if (found.whole() && allSurvive(boxes)) {
        Pr01Texts reread = Pr01Texts::initial();
        fuzz::check(applyUfgSections(ufgText(boxes), reread).whole(), "a saved file is whole");
        fuzz::check(reread == boxes, "a saved file reads back the same");
    }
    return 0;
}
