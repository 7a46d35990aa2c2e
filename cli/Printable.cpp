#include "Printable.h"

#include "core/Text.h"

#include <QString>

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

std::string withoutControls(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            appendEscaped(out, byte);
        else
            out += c;
    }
    return out;
}

} // namespace xlt::cli
