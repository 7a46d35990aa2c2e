// xltctl update: checks an XLT OS update file, shows its identity beside the device's, asks for
// confirmation and sends the image with a progress line.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Printable.h"
#include "link/Identity.h"
#include "link/Operation.h"
#include "link/USB_COM.h"
#include "update/OpenStep.h"
#include "update/TextProgress.h"
#include "update/Updater.h"

#include <QString>
#include <cstdio>
#include <iostream>
#include <string>
#include <variant>

namespace xlt::cli {

namespace {

constexpr char kUpdateUsage[] =
    "usage: xltctl update [--yes] [--verify] [--expect-interface NAME]\n"
    "                     [--expect-firmware TEXT] FILE.dpc\n"
    "\n"
    "Checks the XLT OS update file, prints its identity and the connected device's, asks\n"
    "whether to go on (--yes skips the question; no answer counts as no) and sends the image\n"
    "to the device, 128 bytes per block, with a progress line. After the first 256 blocks the\n"
    "device copies them; the tool waits three seconds there. Do not disconnect the device.\n"
    "\n"
    "--verify  after the update, reads the device's identity again and fails unless it is\n"
    "          the file's (interface, firmware version and mod number).\n"
    "--expect-interface NAME\n"
    "          sends nothing unless both the device's and the file's interface (characters\n"
    "          0-3 of the identity, as 'xltctl identity --json' gives them: PR01) are NAME.\n"
    "--expect-firmware TEXT\n"
    "          sends nothing unless the file's firmware version (characters 5-8: 0234, also\n"
    "          written 02.34) is TEXT. The device's version, which the update replaces, is\n"
    "          not compared.\n"
    "\n"
    "Exit codes: 0 update complete (and verified), 1 not confirmed, an identity other than\n"
    "expected, a block not accepted (the block is named on stderr) or the identity not the\n"
    "file's, 2 bad usage or a file that is not a valid update file, 3 no device.\n";

/// The identity's fields for the terminal: they are the device's or the file's bytes.
std::string shown(const link::Identity &identity)
{
    return printable(identity.interfaceCode + " " + identity.firmware + " " + identity.modNumber);
}

class ConsolePanel final : public update::Panel
{
public:
    void clear() override { deviceAnswered = false; }
    /// The lines hold identity bytes of the file and of the device.
    void print(const std::string &line) override
    {
        if (line.starts_with(" Target XLT Interface:"))
            deviceAnswered = true;
        std::printf("%s\n", printable(line).c_str());
    }
    bool deviceAnswered = false; ///< the device's identity lines were printed
};

bool confirmed(int numBlocks, unsigned port)
{
    std::printf("Send %d blocks to the XLT device on COM%u? [y/N] ", numBlocks, port);
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::putchar('\n');
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

/// The open step; a file that is not accepted is explained (the window's silent cases too).
update::OpenStepResult openFile(link::DeviceContext &device, ConsolePanel &panel,
                                const std::string &path)
{
    link::Operation look(device);
    update::OpenStepResult opened;
    update::runOpenStep(look, device, panel, pathArgument(path),
                        [&opened](update::OpenStepResult result) { opened = std::move(result); });
    for (const std::string &line : opened.targetLines)
        panel.print(line);
    const std::string shown = shownPath(pathArgument(path));
    if (opened.kind == update::OpenStepResult::Kind::Unchanged && opened.unreadable.empty())
        std::fprintf(stderr, "xltctl update: '%s' is empty\n", shown.c_str());
    else if (opened.kind == update::OpenStepResult::Kind::Unchanged)
        std::fprintf(stderr, "xltctl update: cannot read '%s': %s\n", shown.c_str(),
                     printable(opened.unreadable).c_str());
    else if (opened.check == update::FileCheck::NoIdentity)
        std::fprintf(stderr, "xltctl update: '%s' is too short for an XLT OS Update file\n",
                     shown.c_str());
    return opened;
}

struct UpdateOptions
{
    bool yes = false;
    bool verify = false;
    std::string path;
    std::optional<std::string> expectInterface;
    std::optional<std::string> expectFirmware;
};

/// An identity field as the guards compare it: its four characters as they come (interface
/// 0-3, firmware 5-8), blanks at the ends removed, as `xltctl identity --json` gives it.
std::string guardField(std::span<const std::uint8_t> identity, std::string link::Identity::*field)
{
    const link::Identity fields = link::parseIdentity(identity, link::FirmwareStyle::AsIs);
    return QString::fromLatin1(fields.*field).trimmed().toLatin1().toStdString();
}

/// Why the guards refuse the update, in one line; empty when they let it go on. `device` is
/// the identity text the device reported, `file` the file's 13 identity bytes.
std::string guardProblem(const std::optional<std::string> &expectInterface,
                         const std::optional<std::string> &expectFirmware,
                         std::span<const std::uint8_t> device, std::span<const std::uint8_t> file)
{
    const auto quoted = [](const std::string &text) { return "\"" + printable(text) + "\""; };
    const auto asks = [](const char *option, const std::string &wanted) {
        return std::string(" but ") + option + " asks for \"" + shownWord(wanted) + "\"";
    };
    if (expectInterface) {
        const std::string &wanted = *expectInterface;
        const std::string mine = guardField(device, &link::Identity::interfaceCode);
        const std::string image = guardField(file, &link::Identity::interfaceCode);
        if (image != wanted)
            return "the image is for interface " + quoted(image) +
                   asks("--expect-interface", wanted) + " (the device's is " + quoted(mine) + ")";
        if (mine != wanted)
            return "the device's interface is " + quoted(mine) +
                   asks("--expect-interface", wanted) + " (the image's is " + quoted(image) + ")";
    }
    if (expectFirmware) {
        const std::string &wanted = *expectFirmware;
        // In the form the option is given: 0234, or 02.34 as the update's identity lines show.
        const bool point = wanted.find('.') != std::string::npos;
        const auto form = [point](const std::string &four) {
            return point && four.size() > 2 ? four.substr(0, 2) + "." + four.substr(2) : four;
        };
        const std::string image = form(guardField(file, &link::Identity::firmware));
        if (image != wanted)
            return "the image is firmware " + quoted(image) + asks("--expect-firmware", wanted) +
                   " (the device runs " +
                   quoted(form(guardField(device, &link::Identity::firmware))) + ")";
    }
    return {};
}

/// The arguments, or the exit code when they end the command (help or bad usage).
std::variant<UpdateOptions, int> parseArgs(const Args &args)
{
    CommandLine commandLine("update", kUpdateUsage);
    commandLine.flag({QStringLiteral("yes"), QStringLiteral("y")});
    commandLine.flag({QStringLiteral("verify")});
    commandLine.option(QStringLiteral("expect-interface"), QStringLiteral("NAME"));
    commandLine.option(QStringLiteral("expect-firmware"), QStringLiteral("TEXT"));
    if (const auto exitCode = commandLine.parse(args))
        return *exitCode;
    if (commandLine.positional().empty())
        return commandLine.usageError("missing FILE.dpc");
    if (commandLine.positional().size() > 1)
        return commandLine.usageError("unexpected argument '" + commandLine.positional()[1] + "'");
    return UpdateOptions{
        commandLine.isSet(QStringLiteral("yes")), commandLine.isSet(QStringLiteral("verify")),
        commandLine.positional().front(), commandLine.value(QStringLiteral("expect-interface")),
        commandLine.value(QStringLiteral("expect-firmware"))};
}

} // namespace

int runUpdate(const Args &args)
{
    const auto parsed = parseArgs(args);
    if (const int *exitCode = std::get_if<int>(&parsed))
        return *exitCode;
    const auto &[yes, verify, path, expectInterface, expectFirmware] =
        std::get<UpdateOptions>(parsed);

    CliContext cli;
    link::DeviceContext &device = *cli.device;
    ConsolePanel panel;
    const update::OpenStepResult opened = openFile(device, panel, path);
    const std::optional<update::UpdateImage> &image = opened.image;
    if (!image)
        return 2;
    const std::uint16_t port = link::FindXLTPort(*cli.ports);
    if (port == 0) {
        cli.notifier.message(core::Icon::Exclamation, link::kNoDeviceText);
        return 1;
    }
    // The device did not tell its identity (its failure is on stderr): without it the user
    // cannot compare, and a device that fails one exchange is not sent firmware.
    if (!panel.deviceAnswered) {
        std::fputs("xltctl update: the device did not report its identity; nothing was sent\n",
                   stderr);
        return 1;
    }
    const std::vector<std::uint8_t> seen(opened.device.identity.begin(),
                                         opened.device.identity.end());
    const std::string problem = guardProblem(
        expectInterface, expectFirmware, seen,
        std::span(image->FileData).subspan(update::kIdentityOffset, update::kIdentityBytes));
    if (!problem.empty()) {
        std::fprintf(stderr, "xltctl update: %s; nothing was sent\n", problem.c_str());
        return 1;
    }
    if (!yes && !confirmed(image->NumBlocks, port)) {
        std::fputs("xltctl update: not confirmed; nothing was sent\n", stderr);
        return 1;
    }

    update::TextProgress progress(stdout);
    update::Updater updater(device, progress);
    update::UpdateOutcome outcome;
    // Only the device whose identity was printed and confirmed gets the image.
    updater.start(*image, opened.device, {},
                  [&outcome](update::UpdateOutcome result) { outcome = std::move(result); });
    if (outcome.result == update::UpdateResult::Complete) {
        if (!verify)
            return 0;
        const std::optional<link::Identity> &identity = outcome.identityAfter;
        if (!identity) {
            std::fputs("xltctl update: the identity could not be read after the update\n", stderr);
            return 1;
        }
        const link::Identity &file = image->file;
        if (identity->interfaceCode != file.interfaceCode || identity->firmware != file.firmware ||
            identity->modNumber != file.modNumber) {
            std::fprintf(stderr,
                         "xltctl update: the device reports %s after the update, not the file's "
                         "%s\n",
                         shown(*identity).c_str(), shown(file).c_str());
            return 1;
        }
        std::printf("Verified: the device reports %s\n", shown(*identity).c_str());
        return 0;
    }
    if (outcome.result == update::UpdateResult::BlockFailed) {
        std::fprintf(stderr,
                     "xltctl update: block %d of %d (block number %d) was not accepted; the "
                     "update stopped there\n",
                     outcome.failedBlock + 1, image->NumBlocks, outcome.failedBlock);
    }
    return 1;
}

} // namespace xlt::cli
