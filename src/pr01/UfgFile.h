#pragma once

// Configuration files (".ufg"): 39 text lines, one byte per character (Latin-1), every line
// ended by CR LF, the last included:
//   "[VERSION DATA]", version, "", "[BOOT VERSION]", boot version, "",
//   "[CURRENCY ASSIG DATA]", then for rows 0..7 the code, country, denom and exp texts.
// Values are written exactly as the boxes hold them, without quotes or checks.
//
// Reading takes delimited fields rather than lines: a field ends at a comma or a line end (CR,
// LF or CR LF), blanks at its start are dropped, and a field that starts with a double quote
// runs to the closing quote (commas included), the quotes removed. Blanks at the end of an
// unquoted field are kept.

#include "ConfigBlock.h"
#include "core/Notifier.h"

#include <QString>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace xlt::pr01 {

inline constexpr const char *kVersionHeader = "[VERSION DATA]";
inline constexpr const char *kBootVersionHeader = "[BOOT VERSION]";
inline constexpr const char *kCurrencyHeader = "[CURRENCY ASSIG DATA]";
inline constexpr const char *kUfgSuffix = ".ufg";
/// The largest configuration file that is read. A file saved from boxes that fit the device is
/// well under 1 KiB; anything past this limit is no configuration and is not read.
inline constexpr qint64 kMaxUfgBytes = qint64{16} * 1024;

/// The whole file text for the boxes `texts`.
std::string ufgText(const Pr01Texts &texts);

/// Walks a file's text field by field.
class FieldReader
{
public:
    explicit FieldReader(std::string_view content)
        : m_content(content)
    {}
    bool atEnd() const { return m_pos >= m_content.size(); }
    /// The next field; at the end of the text, the empty field.
    std::string next();
    /// The line (1 for the first) on which the next field starts: the line ends (CR, LF or
    /// CR LF) passed so far, plus one.
    int line() const { return m_line; }

private:
    void skipDelimiter();
    std::string_view m_content;
    std::size_t m_pos = 0;
    int m_line = 1;
};

/// The line (1 for the first) on which each value of a file starts; 0 for a value the file did
/// not give. For messages about a value ("line 12: Row 3 Country ...").
struct UfgLines
{
    int version = 0;
    int bootVersion = 0;
    std::array<std::array<int, 4>, kRowCount> currency{}; ///< [row][Column]
};

/// What applying a file's text found.
struct UfgSections
{
    bool cut = false; ///< the text ended where a header still called for values
    bool version = false;
    bool bootVersion = false;
    bool currency = false;
    UfgLines lines; ///< where the values taken start
    /// All three sections present with all their values.
    bool whole() const { return !cut && version && bootVersion && currency; }
};

/// Applies a file's text to `boxes`: every known header takes the values after it; anything
/// else, empty lines included, is skipped. Sections may come in any order or twice (the later
/// one wins); a missing section leaves its boxes alone. The values taken before a cut stay in
/// `boxes`. A UTF-8 byte-order mark (EF BB BF) at the very start, which some editors write, is
/// skipped.
UfgSections applyUfgSections(std::string_view content, Pr01Texts &boxes);

/// applyUfgSections() for the window: false only when the text was cut.
bool applyUfgText(std::string_view content, Pr01Texts &boxes);

/// The file name (without ".ufg") taken from the version text: the characters before its first
/// space when it has one, otherwise its first seven characters (all of them when shorter).
std::string ufgNameFromVersion(const std::string &version);

/// True when `name` + ".ufg" names a file inside the configuration folder: no path separator,
/// no drive prefix, not "..", no zero byte or other control character, and at most 251 bytes
/// in the file system's encoding (the longest name file systems hold is 255 bytes, the suffix
/// included).
bool isSafeUfgName(const QString &name);

/// Writes `texts` to `path` atomically: the old file stays intact unless the new one has been
/// written whole (a full disk included). False when the file cannot be created or written, or
/// `path` is a link, a pipe, a device or a folder; `reason` (when given) then says why.
bool saveUfgFile(const std::filesystem::path &path, const Pr01Texts &texts,
                 QString *reason = nullptr);

/// The file's bytes, or nothing when it cannot be opened or read, is not a regular file or is
/// larger than kMaxUfgBytes; `reason` (when given) then says why.
std::optional<std::string> readUfgFile(const std::filesystem::path &path,
                                       QString *reason = nullptr);

/// Saves the boxes into `folder` under the name taken from their version text, replacing a
/// file of that name. A name that is not safe (isSafeUfgName) or a file that cannot be written
/// gives "Cannot save configuration file " + the whole path (and the system's reason when the
/// write failed), and nothing is written.
bool saveConfiguration(const QString &folder, const Pr01Texts &boxes, core::Notifier &notifier);

/// Loads the file at `path` into `boxes` (applyUfgText). When the file cannot be read, or ends
/// where a header still calls for values, shows "Cannot open config file " + path (and why the
/// file could not be read) and returns false; values already taken from the file stay in
/// `boxes`.
bool loadConfigFileInto(const std::filesystem::path &path, Pr01Texts &boxes,
                        core::Notifier &notifier);

/// Loads the file at `path` only when it holds a whole configuration: the three sections, each
/// with all its values. Otherwise shows "Cannot open config file " + path with the reason and
/// returns false with `boxes` untouched. `lines` (when given) gets where each value starts.
bool loadWholeConfigFileInto(const std::filesystem::path &path, Pr01Texts &boxes,
                             core::Notifier &notifier, UfgLines *lines = nullptr);

} // namespace xlt::pr01
