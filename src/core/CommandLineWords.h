#pragma once

// The words of a command line as QCommandLineParser sees them, for xltctl and xlt-sim: byte for
// byte (Latin-1 in the parser), so that a value or a path reaches the program exactly as given.

#include <QCommandLineParser>
#include <QString>
#include <string>

namespace xlt::core {

QString commandWord(const std::string &text);
std::string wordBytes(const QString &word);

/// The parser's reason for refusing a command line, on one line in the tools' own style: it
/// starts in lower case and ends without a full stop; an unknown option is named with its dashes,
/// between `quote` marks ("unknown option '--bogus'" with quote "'").
std::string parserProblem(const QCommandLineParser &parser, const char *quote);

} // namespace xlt::core
