#include "UfgFile.h"

#include "ConfigFolder.h"
#include "core/Text.h"

#include <QFile>
#include <QSaveFile>

namespace xlt::pr01 {

namespace {

constexpr std::size_t kMaxNameBytes = 255 - 4; // the longest file name, less ".ufg"

void addLine(std::string &out, std::string_view line)
{
    out.append(line);
    out.append("\r\n");
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::string ufgText(const Pr01Texts &texts)
{
    std::string out;
    addLine(out, kVersionHeader);
    addLine(out, texts.version);
    addLine(out, "");
    addLine(out, kBootVersionHeader);
    addLine(out, texts.bootVersion);
    addLine(out, "");
    addLine(out, kCurrencyHeader);
    for (std::size_t row = 0; row < kRowCount; ++row) {
        addLine(out, texts.code[row]);
        addLine(out, texts.country[row]);
        addLine(out, texts.denom[row]);
        addLine(out, texts.exp[row]);
    }
    return out;
}

void FieldReader::skipDelimiter()
{
    if (atEnd())
        return;
    const char c = m_content[m_pos++];
    if (c == '\r' && m_pos < m_content.size() && m_content[m_pos] == '\n')
        ++m_pos;
}

std::string FieldReader::next()
{
    while (!atEnd() && isBlank(m_content[m_pos]))
        ++m_pos;
    std::string field;
    if (!atEnd() && m_content[m_pos] == '"') {
        // A quoted field keeps commas; an unclosed quote ends at the line end. Whatever follows
        // the closing quote up to the delimiter is dropped.
        ++m_pos;
        while (!atEnd() && m_content[m_pos] != '"' && !isLineEnd(m_content[m_pos]))
            field.push_back(m_content[m_pos++]);
        if (!atEnd() && m_content[m_pos] == '"')
            ++m_pos;
        while (!atEnd() && m_content[m_pos] != ',' && !isLineEnd(m_content[m_pos]))
            ++m_pos;
    } else {
        while (!atEnd() && m_content[m_pos] != ',' && !isLineEnd(m_content[m_pos]))
            field.push_back(m_content[m_pos++]);
    }
    skipDelimiter();
    return field;
}

bool applyUfgText(std::string_view content, Pr01Texts &boxes)
{
    FieldReader reader(content);
    // Reads the value a header calls for; false when the text has ended.
    auto take = [&reader](std::string &box) {
        if (reader.atEnd())
            return false;
        box = reader.next();
        return true;
    };
    while (!reader.atEnd()) {
        const std::string value = reader.next();
        if (value == kVersionHeader) {
            if (!take(boxes.version))
                return false;
        } else if (value == kBootVersionHeader) {
            if (!take(boxes.bootVersion))
                return false;
        } else if (value == kCurrencyHeader) {
            for (std::size_t row = 0; row < kRowCount; ++row) {
                if (!take(boxes.code[row]) || !take(boxes.country[row])
                    || !take(boxes.denom[row]) || !take(boxes.exp[row]))
                    return false;
            }
        }
    }
    return true;
}

std::string ufgNameFromVersion(const std::string &version)
{
    const std::size_t space = version.find(' ');
    if (space != std::string::npos)
        return version.substr(0, space);
    return version.substr(0, 7);
}

bool isSafeUfgName(const std::string &name)
{
    if (name.size() > kMaxNameBytes)
        return false;
    if (name == "..")
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

bool saveUfgFile(const QString &path, const Pr01Texts &texts)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const std::string text = ufgText(texts);
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<std::string> readUfgFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool saveConfiguration(const QString &folder, const Pr01Texts &boxes, core::Notifier &notifier)
{
    const std::string name = ufgNameFromVersion(boxes.version);
    const QString path = configFilePath(folder, name);
    if (isSafeUfgName(name) && saveUfgFile(path, boxes))
        return true;
    notifier.message(core::Icon::Exclamation,
                     "Cannot save configuration file " + core::fromQString(path));
    return false;
}

bool loadConfigFile(const QString &path, Pr01Texts &boxes, core::Notifier &notifier)
{
    const std::optional<std::string> content = readUfgFile(path);
    if (content && applyUfgText(*content, boxes))
        return true;
    notifier.message(core::Icon::Exclamation, "Cannot open config file " + core::fromQString(path));
    return false;
}

} // namespace xlt::pr01
