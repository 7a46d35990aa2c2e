#include "ConfigBlock.h"

#include "core/Text.h"

#include <algorithm>
#include <limits>

namespace xlt::pr01 {

namespace {

constexpr std::array<Column, 4> kColumns = {Column::Code, Column::Country, Column::Denom,
                                            Column::Exp};

std::string fieldText(std::span<const std::uint8_t> field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return core::bytesToText(std::span<const std::uint8_t>(field.begin(), end));
}

std::string tooLong(const char *box, std::size_t length, std::size_t limit)
{
    return "The " + std::string(box) + " text has " + std::to_string(length) +
           " characters, but the XLT holds at most " + std::to_string(limit) +
           ". Nothing was sent.";
}

const char *ordinal(std::size_t row)
{
    static constexpr const char *kWords[kRowCount] = {"first", "second", "third",   "fourth",
                                                      "fifth", "sixth",  "seventh", "eighth"};
    return kWords[row];
}

} // namespace

Pr01Texts Pr01Texts::initial()
{
    Pr01Texts texts;
    for (std::size_t row = 0; row < kRowCount; ++row) {
        texts.code[row] = core::hex2(static_cast<std::uint8_t>(0x61 + row));
        texts.country[row] = "00";
        texts.denom[row] = "00";
        texts.exp[row] = "00";
    }
    return texts;
}

const char *columnHeading(Column column)
{
    switch (column) {
    case Column::Code:
        return "Code";
    case Column::Country:
        return "Country";
    case Column::Denom:
        return "Demonination";
    case Column::Exp:
        return "Exp";
    }
    return "";
}

std::string &cell(Pr01Texts &texts, std::size_t row, Column column)
{
    switch (column) {
    case Column::Code:
        return texts.code.at(row);
    case Column::Country:
        return texts.country.at(row);
    case Column::Denom:
        return texts.denom.at(row);
    case Column::Exp:
        break;
    }
    return texts.exp.at(row);
}

const std::string &cell(const Pr01Texts &texts, std::size_t row, Column column)
{
    return cell(const_cast<Pr01Texts &>(texts), row, column);
}

std::uint32_t hexTextValue(const std::string &text)
{
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        const int digit = core::hexDigitValue(c);
        if (digit < 0)
            break;
        value = std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(digit),
                                        std::numeric_limits<std::uint32_t>::max());
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint8_t> hexByteValue(const std::string &text)
{
    bool digits = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        if (core::hexDigitValue(c) < 0)
            return std::nullopt;
        digits = true;
    }
    const std::uint32_t value = hexTextValue(text);
    if (!digits || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

void decodeCurrencyRows(std::span<const std::uint8_t, 4 * kRowCount> rows, Pr01Texts &texts)
{
    for (std::size_t row = 0; row < kRowCount; ++row) {
        for (std::size_t col = 0; col < kColumns.size(); ++col)
            cell(texts, row, kColumns[col]) = core::hex2(rows[4 * row + col]);
    }
}

Pr01Texts decodeConfigBlock(std::span<const std::uint8_t, kBlockSize> block)
{
    Pr01Texts texts;
    texts.version = fieldText(block.subspan(kVersionOffset, kVersionSize));
    texts.bootVersion = fieldText(block.subspan(kBootVersionOffset, kBootVersionSize));
    decodeCurrencyRows(block.subspan<kCurrencyOffset, 4 * kRowCount>(), texts);
    return texts;
}

EncodeResult encodeConfigBlock(const Pr01Texts &texts)
{
    if (texts.version.size() > kVersionSize)
        return {std::nullopt, tooLong("Version", texts.version.size(), kVersionSize)};
    if (texts.bootVersion.size() > kBootVersionSize)
        return {std::nullopt, tooLong("Boot Version", texts.bootVersion.size(), kBootVersionSize)};

    ConfigBlock block{};
    std::copy(texts.version.begin(), texts.version.end(), block.begin() + kVersionOffset);
    std::copy(texts.bootVersion.begin(), texts.bootVersion.end(),
              block.begin() + kBootVersionOffset);
    for (std::size_t row = 0; row < kRowCount; ++row) {
        for (std::size_t col = 0; col < kColumns.size(); ++col) {
            const std::string &text = cell(texts, row, kColumns[col]);
            const std::uint32_t value = hexTextValue(text);
            if (value > 0xFF) {
                return {std::nullopt, "The Currency Assigment value \"" + text + "\" in the " +
                                          ordinal(row) + " row, column " +
                                          columnHeading(kColumns[col]) +
                                          ", is above FF. Nothing was sent."};
            }
            block[kCurrencyOffset + 4 * row + col] = static_cast<std::uint8_t>(value);
        }
    }
    return {block, {}};
}

} // namespace xlt::pr01
