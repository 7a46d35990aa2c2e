#include "UfgFile.h"

#include "ConfigFolder.h"
#include "core/FileIo.h"
#include "core/Text.h"

#include <QFile>

namespace xlt::pr01 {

namespace {

constexpr std::size_t kMaxNameBytes = 255 - 4; // the longest file name, less ".ufg"
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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

/// ": " and the reason a file could not be read or written, when there is one.
std::string withReason(const QString &reason)
{
    return reason.isEmpty() ? std::string() : ": " + core::fromQString(reason);
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
    if (isLineEnd(c))
        ++m_line;
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

UfgSections applyUfgSections(std::string_view content, Pr01Texts &boxes)
{
    if (content.starts_with(kUtf8Bom))
        content.remove_prefix(kUtf8Bom.size());
    FieldReader reader(content);
    UfgSections found;
    // Reads the value a header calls for, noting its line; false when the text has ended.
    auto take = [&reader, &found](std::string &box, int &line) {
        if (reader.atEnd()) {
            found.cut = true;
            return false;
        }
        line = reader.line();
        box = reader.next();
        return true;
    };
    while (!reader.atEnd()) {
        const std::string value = reader.next();
        if (value == kVersionHeader) {
            if (!take(boxes.version, found.lines.version))
                return found;
            found.version = true;
        } else if (value == kBootVersionHeader) {
            if (!take(boxes.bootVersion, found.lines.bootVersion))
                return found;
            found.bootVersion = true;
        } else if (value == kCurrencyHeader) {
            for (std::size_t row = 0; row < kRowCount; ++row) {
                auto &lines = found.lines.currency[row];
                if (!take(boxes.code[row], lines[0]) || !take(boxes.country[row], lines[1]) ||
                    !take(boxes.denom[row], lines[2]) || !take(boxes.exp[row], lines[3]))
                    return found;
            }
            found.currency = true;
        }
    }
    return found;
}

bool applyUfgText(std::string_view content, Pr01Texts &boxes)
{
    return !applyUfgSections(content, boxes).cut;
}

std::string ufgNameFromVersion(const std::string &version)
{
    const std::size_t space = version.find(' ');
    if (space != std::string::npos)
        return version.substr(0, space);
    return version.substr(0, 7);
}

bool isSafeUfgName(const QString &name)
{
    if (static_cast<std::size_t>(QFile::encodeName(name).size()) > kMaxNameBytes)
        return false;
    if (name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        const char16_t unit = c.unicode();
        if (unit == u'/' || unit == u'\\' || unit == u':' || unit < 0x20 || unit == 0x7F)
            return false;
    }
    return true;
}

bool saveUfgFile(const std::filesystem::path &path, const Pr01Texts &texts, QString *reason)
{
    const std::string text = ufgText(texts);
    return core::writeFileAtomically(path, QByteArrayView(text.data(), qsizetype(text.size())),
                                     reason);
}

std::optional<std::string> readUfgFile(const std::filesystem::path &path, QString *reason)
{
    const core::FileRead read = core::readRegularFile(path, kMaxUfgBytes);
    if (!read.bytes) {
        if (reason)
            *reason = read.reason;
        return std::nullopt;
    }
    return read.bytes->toStdString();
}

bool saveConfiguration(const QString &folder, const Pr01Texts &boxes, core::Notifier &notifier)
{
    // The version text is a device text (Latin-1); the file name is its characters.
    const QString name = core::toQString(ufgNameFromVersion(boxes.version));
    const std::filesystem::path path = core::toPath(configFilePath(folder, name));
    QString reason;
    if (isSafeUfgName(name) && saveUfgFile(path, boxes, &reason))
        return true;
    notifier.message(core::Icon::Exclamation,
                     "Cannot save configuration file " + core::pathText(path) + withReason(reason));
    return false;
}

bool loadConfigFileInto(const std::filesystem::path &path, Pr01Texts &boxes,
                        core::Notifier &notifier)
{
    QString reason;
    const std::optional<std::string> content = readUfgFile(path, &reason);
    if (content && applyUfgText(*content, boxes))
        return true;
    notifier.message(core::Icon::Exclamation,
                     "Cannot open config file " + core::pathText(path) + withReason(reason));
    return false;
}

bool loadWholeConfigFileInto(const std::filesystem::path &path, Pr01Texts &boxes,
                             core::Notifier &notifier, UfgLines *lines)
{
    const std::string shown = "Cannot open config file " + core::pathText(path);
    QString reason;
    const std::optional<std::string> content = readUfgFile(path, &reason);
    if (!content) {
        notifier.message(core::Icon::Exclamation, shown + withReason(reason));
        return false;
    }
    Pr01Texts loaded = boxes;
    const UfgSections found = applyUfgSections(*content, loaded);
    if (!found.whole()) {
        notifier.message(core::Icon::Exclamation, shown + ": it does not hold the three sections " +
                                                      kVersionHeader + ", " + kBootVersionHeader +
                                                      " and " + kCurrencyHeader + " complete");
        return false;
    }
    boxes = std::move(loaded);
    if (lines)
        *lines = found.lines;
    return true;
}

} // namespace xlt::pr01
