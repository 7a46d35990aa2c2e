// xltctl: the headless front end over the same logic as the windows, for scripts and the
// production line. Messages that a window shows in a box go to stderr.
#include "CliContext.h"
#include "Commands.h"
#include "Version.h"
#include "link/USB_COM.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
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
               "With several devices attached, --port COMn or --device PATH (before or after the\n"
               "command's own arguments) picks the one that a device command talks to; 'xltctl\n"
               "ports' lists them.\n"
               "\n"
               "Exit codes, the same for every command:\n"
               "  0  done\n"
               "  1  the device refused or failed (or the port did not open); the reason is on\n"
               "     stderr\n"
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
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("xltctl %s\n", xlt::app::kVersionText);
        return 0;
    }
    for (const auto &sub : kSubcommands) {
        if (std::strcmp(argv[1], sub.name) != 0)
            continue;
        xlt::cli::Args args;
        for (int i = 2; i < argc; ++i) {
            const std::string word = argv[i];
            const bool bare = word == "--port" || word == "--device";
            const std::size_t equals = word.find('=');
            const std::string name = word.substr(0, equals);
            if (!bare &&
                (equals == std::string::npos || (name != "--port" && name != "--device"))) {
                args.push_back(word);
                continue;
            }
            if (bare && i + 1 >= argc) {
                std::fprintf(stderr, "xltctl: %s needs a value\n", word.c_str());
                return 2;
            }
            xlt::cli::portChoice() = bare ? argv[++i] : word.substr(equals + 1);
        }
        const int code = sub.run(args);
        // A failure because no device is there, or none at the chosen port, is told apart; one
        // after the device answered (and then went, perhaps) stays the device's failure.
        if (code == 1 && std::strcmp(sub.name, "decode") != 0 && !xlt::cli::deviceReached()) {
            xlt::cli::CliContext cli;
            if (xlt::link::FindXLTPort(*cli.ports) == 0)
                return 3;
        }
        return code;
    }
    std::fprintf(stderr, "xltctl: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
