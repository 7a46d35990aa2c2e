#include "CommandLine.h"

#include "CliContext.h"
#include "Printable.h"

#include <algorithm>
#include <cstdio>

namespace xlt::cli {

CommandLine::CommandLine(std::string command, const char *usage)
    : m_command(std::move(command))
    , m_usage(usage)
{
    m_parser.addOption(
        QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    m_parser.addOption(QCommandLineOption(QStringLiteral("port"), {}, QStringLiteral("COMn")));
    m_parser.addOption(QCommandLineOption(QStringLiteral("device"), {}, QStringLiteral("PATH")));
}

void CommandLine::flag(const QStringList &names)
{
    m_parser.addOption(QCommandLineOption(names));
}

void CommandLine::option(const QString &name, const QString &valueName, bool once)
{
    m_parser.addOption(QCommandLineOption(name, {}, valueName));
    if (once)
        m_once.append(name);
}

std::optional<int> CommandLine::parse(const Args &words,
                                      const std::function<std::string(const Args &)> &rule)
{
    QStringList arguments{word("xltctl " + m_command)};
    for (const std::string &text : words)
        arguments.append(word(text));
    const bool parsed = m_parser.parse(arguments);
    m_positional.clear();
    for (const QString &text : m_parser.positionalArguments())
        m_positional.push_back(bytes(text));
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fputs(m_usage, stdout);
        return 0;
    }
    std::string problem = parsed ? std::string() : core::parserProblem(m_parser, "'");
    for (const QString &name : m_once) {
        if (problem.empty() && m_parser.values(name).size() > 1)
            problem = "--" + bytes(name) + " given more than once";
    }
    if (!problem.empty()) {
        const std::string more = rule ? rule(m_positional) : std::string();
        return usageError(more.empty() ? problem : problem + "; " + more);
    }
    // The last of --port and --device counts, as either can name the device.
    const QStringList found = m_parser.optionNames();
    const auto last = std::find_if(found.crbegin(), found.crend(), [](const QString &name) {
        return name == QLatin1String("port") || name == QLatin1String("device");
    });
    if (last != found.crend())
        portChoice() = bytes(m_parser.values(*last).back());
    return std::nullopt;
}

std::optional<std::string> CommandLine::value(const QString &name) const
{
    const QStringList values = m_parser.values(name);
    if (values.isEmpty())
        return std::nullopt;
    return bytes(values.back());
}

std::optional<int> CommandLine::parseOptionsOnly(const Args &words)
{
    if (const auto exitCode = parse(words))
        return exitCode;
    if (!m_positional.empty())
        return usageError("unexpected argument '" + m_positional.front() + "'");
    return std::nullopt;
}

int CommandLine::usageError(const std::string &problem) const
{
    // The problem may quote a word as given, control bytes and all.
    std::fprintf(stderr, "xltctl %s: %s\n%s", m_command.c_str(), shownWord(problem).c_str(),
                 m_usage);
    return 2;
}

} // namespace xlt::cli
