#include "HexInput.h"

#include "core/Text.h"

#include <istream>

namespace xlt::cli {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text, std::string &problem)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSpace(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSpace(text[end]))
            ++end;
        const std::string_view group = text.substr(i, end - i);
        for (char c : group) {
            if (core::hexDigitValue(c) < 0) {
                problem = "'" + std::string(group) + "' is not hexadecimal";
                return std::nullopt;
            }
        }
        if (group.size() % 2 != 0) {
            problem = "'" + std::string(group) + "' has an odd number of hexadecimal digits";
            return std::nullopt;
        }
        // Counted before the bytes are kept, so a huge argument is not held twice.
        if (bytes.size() + group.size() / 2 > kMaxHexBytes) {
            problem = "more than " + std::to_string(kMaxHexBytes) + " bytes";
            return std::nullopt;
        }
        for (std::size_t k = 0; k < group.size(); k += 2)
            bytes.push_back(static_cast<std::uint8_t>(core::hexDigitValue(group[k]) * 16 +
                                                      core::hexDigitValue(group[k + 1])));
        i = end;
    }
    return bytes;
}

bool readHexLine(std::istream &in, std::string &line, bool &tooLong)
{
    line.clear();
    tooLong = false;
    std::istream::int_type c = in.get();
    if (c == std::istream::traits_type::eof())
        return false;
    for (; c != std::istream::traits_type::eof() && c != '\n'; c = in.get()) {
        if (tooLong)
            continue;
        if (line.size() == kMaxHexLineChars) {
            tooLong = true;
            line.clear();
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    return true;
}

} // namespace xlt::cli
