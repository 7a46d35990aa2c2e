#include "CommandLineWords.h"

namespace xlt::core {

QString commandWord(const std::string &text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string wordBytes(const QString &word)
{
    return word.toLatin1().toStdString();
}

std::string parserProblem(const QCommandLineParser &parser, const char *quote)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.front();
        std::string problem = "unknown option ";
        problem += quote;
        problem += name.size() == 1 ? "-" : "--";
        problem += wordBytes(name);
        problem += quote;
        return problem;
    }
    // "Missing value after '--seconds'." and the like.
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return wordBytes(text);
}

} // namespace xlt::core
