#pragma once

#include "Commands.h"
#include "core/CommandLineWords.h"

#include <QCommandLineParser>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>

namespace xlt::cli {

/// One command's command line, parsed by QCommandLineParser: the command declares its options
/// (long names without the dashes) and reads back what was given. Every command also takes
/// -h/--help and the device choice --port COMn / --device PATH (anywhere among its words, also
/// as --port=COMn), which goes to portChoice().
///
/// The words are taken byte for byte (Latin-1 in the parser), so that a value reaches the
/// command exactly as given and a path is decoded once, by pathArgument().
class CommandLine
{
public:
    /// `command` names the command in messages ("xltctl config: ..."); `usage` is printed for
    /// --help and after a usage error.
    CommandLine(std::string command, const char *usage);

    /// An option without a value; `names` may add a one-letter alias ("yes", "y").
    void flag(const QStringList &names);
    /// An option with a value (--name VALUE or --name=VALUE). Given twice, the last value
    /// counts, unless `once`: then a second one is a usage error.
    void option(const QString &name, const QString &valueName, bool once = false);

    /// Parses the words after the command's name. Nothing when the command goes on; otherwise
    /// its exit code: 0 after printing the usage for --help, 2 after a usage error. `rule`, if
    /// given, adds the command's own rule for the words parsed so far to a parser's refusal.
    std::optional<int> parse(const Args &words,
                             const std::function<std::string(const Args &)> &rule = {});

    /// parse() for a command that takes options only: a word that is no option is refused.
    std::optional<int> parseOptionsOnly(const Args &words);

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    /// The (last) value of an option, if given.
    std::optional<std::string> value(const QString &name) const;
    /// The words that are no option and no option's value, in order.
    const Args &positional() const { return m_positional; }

    /// Prints "xltctl <command>: <problem>" and the usage on stderr; returns 2.
    int usageError(const std::string &problem) const;

private:
    std::string m_command;
    const char *m_usage;
    QCommandLineParser m_parser;
    QStringList m_once;
    Args m_positional;
};

/// A word of the command line as the parser sees it, and back.
inline QString word(const std::string &text)
{
    return core::commandWord(text);
}
inline std::string bytes(const QString &word)
{
    return core::wordBytes(word);
}

} // namespace xlt::cli
