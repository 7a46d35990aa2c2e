#include "CaptureFile.h"

#include "core/FileIo.h"
#include "core/Text.h"

#include <QFile>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace xlt::monitor {

namespace {

using namespace std::string_view_literals;

constexpr std::size_t kMaxReplyBytes = 255;
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

/// The value of each hex digit; -1 for every other byte.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (unsigned char c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::int8_t>(c - '0');
    for (unsigned char c = 'A'; c <= 'F'; ++c) {
        table[c] = static_cast<std::int8_t>(c - 'A' + 10);
        table[c + ('a' - 'A')] = static_cast<std::int8_t>(c - 'A' + 10);
    }
    return table;
}();

bool isSpacing(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

int hexValue(char c)
{
    return kHexValue[static_cast<unsigned char>(c)];
}

void appendWord(std::string &out, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            core::appendHex2(out, byte);
        }
    }
}

/// A header word back to its bytes; nothing when an escape is not \xNN.
std::optional<std::string> unescaped(std::string_view word)
{
    std::string out;
    out.reserve(word.size());
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (word[k] != '\\') {
            out += word[k];
            continue;
        }
        if (k + 3 >= word.size() || word[k + 1] != 'x' || hexValue(word[k + 2]) < 0 ||
            hexValue(word[k + 3]) < 0)
            return std::nullopt;
        out += static_cast<char>(hexValue(word[k + 2]) * 16 + hexValue(word[k + 3]));
        k += 3;
    }
    return out;
}

/// The words of a header line after its '#', split at blanks.
std::vector<std::string_view> wordsOf(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 1;
    while (at < text.size()) {
        if (isSpacing(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !isSpacing(text[end]))
            ++end;
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

/// The bytes of a reply line that starts with a digit into `out`; nothing, or the problem.
/// Groups of digit pairs separated by blanks: "7F8001" and "7F 80 01" are the same bytes.
const char *parseReply(std::string_view text, std::uint8_t *out, std::size_t &count)
{
    const std::size_t size = text.size();
    // The writer's own form first, three characters a byte: "7F 80 01".
    std::size_t at = 0;
    for (count = 0; at + 2 <= size && count < kMaxReplyBytes; at += 3) {
        const int high = hexValue(text[at]);
        const int low = hexValue(text[at + 1]);
        if (high < 0 || low < 0 || (at + 2 < size && !isSpacing(text[at + 2])))
            break;
        out[count++] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (at >= size)
        return nullptr;
    // Any other spacing, group by group from the start.
    count = 0;
    for (at = 0; at < size;) {
        if (isSpacing(text[at])) {
            ++at;
            continue;
        }
        for (; at < size && !isSpacing(text[at]); at += 2) {
            const bool paired = at + 1 < size && !isSpacing(text[at + 1]);
            const int high = hexValue(text[at]);
            const int low = paired ? hexValue(text[at + 1]) : 0;
            if (high < 0 || low < 0)
                return "not hexadecimal bytes";
            if (!paired)
                return "a group with an odd number of digits";
            if (count == kMaxReplyBytes)
                return "more than 255 bytes";
            out[count++] = static_cast<std::uint8_t>(high * 16 + low);
        }
    }
    return nullptr;
}

} // namespace

std::optional<link::Identity> captureIdentity(std::span<const std::uint8_t> reply)
{
    if (reply.size() < 13)
        return std::nullopt;
    return link::parseIdentity(reply, link::FirmwareStyle::AsIs);
}

std::string captureTime(const QDateTime &when)
{
    std::string text = core::fromQString(when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    const int offset = when.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    std::array<char, 16> zone{};
    std::snprintf(zone.data(), zone.size(), "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return text + zone.data();
}

std::string captureHeaderText(const CaptureHeader &header)
{
    std::string text = "# XLT capture " + std::to_string(header.version) + "\n# started ";
    appendWord(text, header.started);
    text += "\n# port ";
    appendWord(text, header.portName);
    if (!header.deviceNode.empty()) {
        text += ' ';
        appendWord(text, header.deviceNode);
    }
    text += "\n# identity ";
    if (header.identity) {
        for (const std::string *field : {&header.identity->interfaceCode,
                                         &header.identity->firmware, &header.identity->modNumber}) {
            appendWord(text, *field);
            text += field == &header.identity->modNumber ? '\n' : ' ';
        }
    } else {
        text += "unknown\n";
    }
    text += "# program ";
    appendWord(text, header.program);
    text += '\n';
    return text;
}

std::string captureReplyLine(std::span<const std::uint8_t> reply)
{
    std::string line;
    line.reserve(3 * reply.size());
    for (std::size_t k = 0; k < reply.size(); ++k) {
        core::appendHex2(line, reply[k]);
        line += k + 1 < reply.size() ? ' ' : '\n';
    }
    return line;
}

std::span<const std::uint8_t> Capture::reply(std::size_t index) const
{
    const std::size_t begin = index == 0 ? 0 : ends[index - 1];
    return std::span(bytes).subspan(begin, ends[index] - begin);
}

bool CaptureReader::fail(std::string reason)
{
    if (m_failure.empty())
        m_failure = std::move(reason);
    return false;
}

void CaptureReader::reserve(qint64 fileBytes)
{
    if (fileBytes > 0 && fileBytes <= kMaxCaptureFileBytes)
        m_capture.bytes.reserve(static_cast<std::size_t>(fileBytes / 3));
}

bool CaptureReader::feed(std::string_view piece)
{
    if (!m_failure.empty())
        return false;
    while (!piece.empty()) {
        const void *found = std::memchr(piece.data(), '\n', piece.size());
        if (!found) {
            if (m_carry.size() + piece.size() > kMaxCaptureLineChars)
                return fail("line " + std::to_string(m_lineNumber + 1) + " is longer than " +
                            std::to_string(kMaxCaptureLineChars) + " characters");
            m_carry.append(piece);
            return true;
        }
        const auto length =
            static_cast<std::size_t>(static_cast<const char *>(found) - piece.data());
        bool taken = false;
        if (m_carry.empty()) {
            taken = line(piece.substr(0, length), true);
        } else {
            m_carry.append(piece.substr(0, length));
            taken = line(m_carry, true);
            m_carry.clear();
        }
        if (!taken)
            return false;
        piece.remove_prefix(length + 1);
    }
    return true;
}

CaptureRead CaptureReader::finish()
{
    if (m_failure.empty() && !m_carry.empty())
        line(m_carry, false);
    m_carry.clear();
    if (m_failure.empty() && !m_started)
        fail("not a capture file: it does not start with '# XLT capture'");
    if (!m_failure.empty())
        return {std::nullopt, m_failure};
    if (m_badLine != 0)
        m_capture.cutLines = 1;
    return {std::move(m_capture), {}};
}

bool CaptureReader::line(std::string_view text, bool ended)
{
    ++m_lineNumber;
    if (text.size() > kMaxCaptureLineChars)
        return fail("line " + std::to_string(m_lineNumber) + " is longer than " +
                    std::to_string(kMaxCaptureLineChars) + " characters");
    std::size_t first = 0;
    while (first < text.size() && isSpacing(text[first]))
        ++first;
    if (first == text.size())
        return true; // a blank line
    // Only the last line may be damaged (cut while it was written): one before another is not.
    if (m_badLine != 0)
        return fail(m_badReason);
    if (!ended) {
        m_capture.cutLines = 1; // no LF: it may have been cut anywhere
        return true;
    }
    if (text[first] == '#')
        return header(text.substr(first));
    if (!m_started)
        return fail("not a capture file: it does not start with '# XLT capture'");

    std::uint8_t bytes[kMaxReplyBytes];
    std::size_t count = 0;
    const char *problem = parseReply(text.substr(first), bytes, count);
    if (problem) {
        m_badLine = m_lineNumber;
        m_badReason = "line " + std::to_string(m_lineNumber) + ": " + problem;
        return true;
    }
    if (m_capture.ends.size() == kMaxCaptureReplies)
        return fail("more than " + std::to_string(kMaxCaptureReplies) + " replies");
    m_inHeader = false;
    m_capture.bytes.insert(m_capture.bytes.end(), bytes, bytes + count);
    m_capture.ends.push_back(static_cast<std::uint32_t>(m_capture.bytes.size()));
    return true;
}

bool CaptureReader::header(std::string_view text)
{
    const std::vector<std::string_view> words = wordsOf(text);
    if (!m_started) {
        const std::string_view number = words.size() == 3 ? words[2] : std::string_view();
        if (words.size() != 3 || words[0] != "XLT"sv || words[1] != "capture"sv || number.empty() ||
            number.size() > 6 || number.find_first_not_of("0123456789") != std::string_view::npos)
            return fail("not a capture file: it does not start with '# XLT capture'");
        const int version = std::stoi(std::string(number));
        if (version < 1)
            return fail("not a capture file: format version 0");
        if (version > kCaptureVersion)
            return fail("capture format " + std::to_string(version) +
                        " is newer than this program reads (" + std::to_string(kCaptureVersion) +
                        ")");
        m_capture.header.version = version;
        m_started = true;
        return true;
    }
    CaptureHeader &h = m_capture.header;
    bool known = false;
    if (m_inHeader && !words.empty()) {
        const std::string_view key = words[0];
        std::vector<std::string> values;
        for (std::size_t k = 1; k < words.size(); ++k) {
            auto value = unescaped(words[k]);
            if (!value)
                break;
            values.push_back(std::move(*value));
        }
        const bool whole = values.size() + 1 == words.size();
        if (whole && key == "started" && values.size() == 1 &&
            QDateTime::fromString(core::toQString(values[0]), Qt::ISODate).isValid()) {
            h.started = values[0];
            known = true;
        } else if (whole && key == "port" && (values.size() == 1 || values.size() == 2)) {
            h.portName = values[0];
            h.deviceNode = values.size() == 2 ? values[1] : std::string();
            known = true;
        } else if (whole && key == "identity" && values.size() == 1 && values[0] == "unknown") {
            h.identity.reset();
            known = true;
        } else if (whole && key == "identity" && values.size() == 3) {
            h.identity = link::Identity{values[0], values[1], values[2]};
            known = true;
        } else if (whole && key == "program" && values.size() == 1) {
            h.program = values[0];
            known = true;
        }
    }
    if (!known)
        ++m_capture.ignoredHeaderLines;
    return true;
}

CaptureRead readCaptureFile(const std::filesystem::path &path)
{
    QString reason;
    const std::unique_ptr<QFile> file = core::openRegularFile(path, &reason);
    if (!file)
        return {std::nullopt, core::fromQString(reason)};
    if (file->size() > kMaxCaptureFileBytes)
        return {std::nullopt, "larger than " + std::to_string(kMaxCaptureFileBytes) +
                                  " bytes, more than a capture holds"};
    CaptureReader reader;
    reader.reserve(file->size());
    std::vector<char> piece(kPieceBytes);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file->read(piece.data(), static_cast<qint64>(piece.size()));
        if (n < 0)
            return {std::nullopt, core::fromQString(file->errorString())};
        if (n == 0)
            break;
        total += n;
        if (total > kMaxCaptureFileBytes) // it grew while it was read
            return {std::nullopt, "larger than " + std::to_string(kMaxCaptureFileBytes) +
                                      " bytes, more than a capture holds"};
        if (!reader.feed(std::string_view(piece.data(), static_cast<std::size_t>(n))))
            break;
    }
    return reader.finish();
}

} // namespace xlt::monitor
