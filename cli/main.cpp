// xltctl: the headless front end over the same logic as the windows, for scripts and the
// production line. Messages that a window shows in a box go to stderr.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "Version.h"
#include "link/USB_COM.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>

namespace {

struct Subcommand
{
    const char *name;
    int (*run)(const xlt::cli::Args &);
    const char *summary;
};

const Subcommand kSubcommands[] = {
    {"ports", xlt::cli::runPorts, "list the serial ports and the port the device is on"},
    {"identity", xlt::cli::runIdentity, "print the device's identity text"},
    {"decode", xlt::cli::runDecode, "decode captured frames or capture-read replies"},
    {"monitor", xlt::cli::runMonitor, "watch and log the device's traffic"},
    {"config", xlt::cli::runConfig, "read, write or detect the PR01 configuration"},
    {"update", xlt::cli::runUpdate, "replace the device's firmware from a .dpc file"},
    {"options", xlt::cli::runOptions, "print or set the host drive option"},
};

void usage(std::FILE *out)
{
    std::fputs("usage: xltctl <command> [arguments]\n\ncommands:\n", out);
    for (const auto &sub : kSubcommands)
        std::fprintf(out, "  %-9s %s\n", sub.name, sub.summary);
    std::fputs("\n'xltctl <command> --help' describes a command; 'xltctl --version' prints the\n"
               "version.\n"
               "\n"
               "With several devices attached, --port COMn or --device PATH (before the command,\n"
               "or before or after its own arguments; also as --port=COMn) picks the one that a\n"
               "device command talks to; 'xltctl ports' lists them.\n"
               "\n"
               "Exit codes, the same for every command:\n"
               "  0  done\n"
               "  1  the device refused or failed, the port did not open, or a file could not\n"
               "     be written; the reason is on stderr ('config diff --exit-code' also gives 1\n"
               "     for differences)\n"
               "  2  bad usage or bad input (an unreadable or malformed file)\n"
               "  3  no device found (none attached, or none at the chosen port)\n",
               out);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("XLT"));
    QCoreApplication::setApplicationName(QStringLiteral("XLT"));
    // The tool's own options come before the command; every word from the command's name on
    // is the command's. --port and --device are taken here too, and again by the command.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(QCommandLineOption(QStringLiteral("version")));
    parser.addOption(QCommandLineOption(QStringLiteral("port"), {}, QStringLiteral("COMn")));
    parser.addOption(QCommandLineOption(QStringLiteral("device"), {}, QStringLiteral("PATH")));
    QStringList words;
    for (int i = 0; i < argc; ++i)
        words.append(xlt::cli::word(argv[i]));
    const bool parsed = parser.parse(words);
    if (parser.isSet(QStringLiteral("help"))) {
        usage(stdout);
        return 0;
    }
    if (!parsed) {
        std::fprintf(stderr, "xltctl: %s\n", xlt::core::parserProblem(parser, "'").c_str());
        usage(stderr);
        return 2;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("xltctl %s\n", xlt::app::kVersionText);
        return 0;
    }
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty()) {
        std::fputs("xltctl: missing command\n", stderr);
        usage(stderr);
        return 2;
    }
    const QStringList found = parser.optionNames();
    if (!found.isEmpty())
        xlt::cli::portChoice() = xlt::cli::bytes(parser.values(found.back()).back());
    const std::string command = xlt::cli::bytes(rest.front());
    for (const auto &sub : kSubcommands) {
        if (command != sub.name)
            continue;
        xlt::cli::Args args;
        for (qsizetype i = 1; i < rest.size(); ++i)
            args.push_back(xlt::cli::bytes(rest[i]));
        const int code = sub.run(args);
        // A failure because no device is there, or none at the chosen port, is told apart; one
        // after the device answered (and then went, perhaps) stays the device's failure.
        if (code == 1 && command != "decode" && !xlt::cli::deviceReached() &&
            !xlt::cli::verdictGiven()) {
            xlt::cli::CliContext cli;
            if (xlt::link::FindXLTPort(*cli.ports) == 0)
                return 3;
        }
        return code;
    }
    std::fprintf(stderr, "xltctl: unknown command '%s'\n", xlt::cli::shownWord(command).c_str());
    usage(stderr);
    return 2;
}
