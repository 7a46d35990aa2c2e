// xltctl: the headless front end over the same logic as the windows, for scripts and the
// production line. Messages that a window shows in a box go to stderr.
#include "Commands.h"
#include "Version.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

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
               "version.\n",
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
        if (std::strcmp(argv[1], sub.name) == 0)
            return sub.run(xlt::cli::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "xltctl: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
