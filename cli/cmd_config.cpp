// xltctl config: the PR01 configuration window's procedures without a window. Reads the
// configuration from the device (optionally into a ".ufg" file), writes one from a ".ufg" file,
// or lets the device detect it, and prints the version, the boot version and the eight rows.
#include "Await.h"
#include "CliContext.h"
#include "Commands.h"
#include "Printable.h"
#include "core/Text.h"
#include "pr01/AutoDetect.h"
#include "pr01/ConfigBlock.h"
#include "pr01/Pr01Device.h"
#include "pr01/UfgFile.h"

#include <QString>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <thread>

namespace xlt::cli {

namespace {

using namespace xlt::pr01;

constexpr int kDefaultDetectSeconds = 30;
constexpr int kMaxDetectSeconds = 3600;

const char *const kUsage =
    "usage: xltctl config read [--ufg FILE]\n"
    "       xltctl config write FILE.ufg\n"
    "       xltctl config detect [--seconds N]\n"
    "\n"
    "  read    read the PR01 configuration from the device and print it; with --ufg also\n"
    "          save it to FILE in the configuration file format\n"
    "  write   load FILE, which must hold the three sections [VERSION DATA], [BOOT VERSION]\n"
    "          and [CURRENCY ASSIG DATA] with all their values, and write it into the device\n"
    "  detect  let the device detect its configuration, polling every 100 ms, and print the\n"
    "          items it reports; gives up after N seconds (default 30)\n"
    "\n"
    "Exit status: 0 done, 1 the device or a file failed (message on stderr), 2 bad usage or a\n"
    "configuration file that cannot be loaded or does not fit the device.\n";

int usageError(const char *detail)
{
    std::fprintf(stderr, "xltctl config: %s\n%s", detail, kUsage);
    return 2;
}

void printTexts(const Pr01Texts &texts, std::uint8_t items = AutoDetect::kAllItems)
{
    const auto item = [items](std::uint8_t flag, const std::string &text) {
        return (items & flag) ? printable(text) : std::string("(not detected)");
    };
    std::printf("Version: %s\n", item(AutoDetect::Version, texts.version).c_str());
    std::printf("Boot version: %s\n", item(AutoDetect::BootVersion, texts.bootVersion).c_str());
    if (!(items & AutoDetect::Currency)) {
        std::puts("Currency Assigment: (not detected)");
        return;
    }
    std::puts("Row  Code  Country  Demonination  Exp");
    for (std::size_t row = 0; row < kRowCount; ++row) {
        std::printf("%-4zu %-5s %-8s %-13s %s\n", row, printable(texts.code[row]).c_str(),
                    printable(texts.country[row]).c_str(), printable(texts.denom[row]).c_str(),
                    printable(texts.exp[row]).c_str());
    }
}

int readConfig(const Args &args)
{
    std::optional<std::string> ufgPath;
    if (args.size() == 3 && args[1] == "--ufg")
        ufgPath = args[2];
    else if (args.size() != 1)
        return usageError("read takes only --ufg FILE");
    CliContext cli;
    const auto reading = await<std::optional<Pr01Reading>>(
        [&cli](auto done) { readPr01Configuration(*cli.device, std::move(done)); });
    if (!reading)
        return 1;
    const Pr01Texts &texts = reading->texts;
    printTexts(texts);
    if (ufgPath && !saveUfgFile(pathArgument(*ufgPath), texts)) {
        cli.notifier.message(core::Icon::Exclamation, "Cannot save configuration file " + *ufgPath);
        return 1;
    }
    return 0;
}

int writeConfig(const Args &args)
{
    if (args.size() != 2)
        return usageError("write takes one FILE.ufg");
    CliContext cli;
    Pr01Texts texts = Pr01Texts::initial();
    // Only a whole configuration is written: the window keeps what it could load in its boxes
    // for the user to check, but here an empty, foreign or cut file would put empty texts and
    // the initial currency table into the device.
    if (!loadWholeConfigFile(pathArgument(args[1]), texts, cli.notifier))
        return 2;
    const EncodeResult encoded = encodeConfigBlock(texts);
    if (!encoded.block) {
        cli.notifier.message(core::Icon::Exclamation, encoded.error);
        return 2;
    }
    // Without a host drive byte of its own the write keeps the device's.
    if (!await<bool>([&](auto done) {
            writePr01Configuration(*cli.device, texts, std::nullopt, std::move(done));
        }))
        return 1;
    printTexts(texts);
    return 0;
}

/// Collects the detected items for printing.
class CollectingSink final : public AutoDetectSink
{
public:
    void versionDetected(const std::string &text) override { texts.version = text; }
    void bootVersionDetected(const std::string &text) override { texts.bootVersion = text; }
    void currencyDetected(std::span<const std::uint8_t, 4 * kRowCount> rows) override
    {
        decodeCurrencyRows(rows, texts);
    }
    Pr01Texts texts;
};

std::optional<int> parseSeconds(const Args &args)
{
    if (args.size() == 1)
        return kDefaultDetectSeconds;
    if (args.size() != 3 || args[1] != "--seconds")
        return std::nullopt;
    int seconds = 0;
    const std::string &text = args[2];
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || seconds < 1 ||
        seconds > kMaxDetectSeconds)
        return std::nullopt;
    return seconds;
}

int detectConfig(const Args &args)
{
    const std::optional<int> seconds = parseSeconds(args);
    if (!seconds)
        return usageError("detect takes --seconds N with N from 1 to 3600");
    CliContext cli;
    CollectingSink sink;
    AutoDetect detect(*cli.device, sink);
    if (!await<bool>([&detect](auto done) { detect.start(std::move(done)); }))
        return 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(*seconds);
    bool timedOut = false;
    bool again = true;
    while (again) {
        std::this_thread::sleep_for(AutoDetect::kInterval);
        if (!timedOut && std::chrono::steady_clock::now() >= deadline) {
            // As the window's abort: the next tick still polls and fetches, then ends.
            detect.abort();
            timedOut = true;
        }
        again = await<bool>([&detect](auto done) { detect.tick(std::move(done)); });
    }
    printTexts(sink.texts, detect.itemsRead());
    if (detect.itemsRead() != AutoDetect::kAllItems) {
        cli.notifier.message(core::Icon::Exclamation,
                             timedOut ? "Detection stopped after " + std::to_string(*seconds) +
                                            " s before every item was reported."
                                      : "Detection ended before every item was reported.");
        return 1;
    }
    return 0;
}

} // namespace

int runConfig(const Args &args)
{
    if (args.empty())
        return usageError("missing subcommand");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args[0] == "read")
        return readConfig(args);
    if (args[0] == "write")
        return writeConfig(args);
    if (args[0] == "detect")
        return detectConfig(args);
    return usageError(("unknown subcommand '" + args[0] + "'").c_str());
}

} // namespace xlt::cli
