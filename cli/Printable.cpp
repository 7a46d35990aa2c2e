#include "Printable.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <QString>
#include <algorithm>

namespace xlt::cli {

namespace {

void appendEscaped(std::string &out, unsigned char byte)
{
    out += "\\x";
    core::appendHex2(out, byte);
}

} // namespace

std::string printable(const std::string &text)
{
    // Most texts (every listing line) are printable ASCII, the same in every local encoding.
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return text;
    QString out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) {
            std::string escaped;
            appendEscaped(escaped, byte);
            out += QLatin1String(escaped.data(), static_cast<qsizetype>(escaped.size()));
        } else {
            out += QChar(byte);
        }
    }
    const QByteArray local = out.toLocal8Bit();
    return std::string(local.constData(), static_cast<std::size_t>(local.size()));
}

std::string shownPath(const std::filesystem::path &path)
{
    return printable(core::pathText(path));
}

std::string shownWord(const std::string &word)
{
    return shownPath(std::filesystem::path(word));
}

} // namespace xlt::cli
