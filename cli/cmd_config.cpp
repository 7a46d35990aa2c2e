// xltctl config: the PR01 configuration window's procedures without a window. Reads the
// configuration from the device (optionally into a ".ufg" file), writes one from a ".ufg" file,
// or lets the device detect it, and prints the version, the boot version and the eight rows.
#include "CliContext.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Fleet.h"
#include "Printable.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "pr01/AutoDetect.h"
#include "pr01/ConfigBlock.h"
#include "pr01/Pr01Device.h"
#include "pr01/UfgFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <thread>

namespace xlt::cli {

namespace {

using namespace xlt::pr01;

constexpr int kDefaultDetectSeconds = 30;
constexpr int kMaxDetectSeconds = 3600;

const char *const kConfigUsage =
    "usage: xltctl config read [--ufg FILE] [--json]\n"
    "       xltctl config read --all --dir FOLDER [--json]\n"
    "       xltctl config write [--dry-run] FILE.ufg\n"
    "       xltctl config diff [--exit-code] [--json] FILE.ufg [OTHER.ufg]\n"
    "       xltctl config detect [--seconds N] [--json]\n"
    "\n"
    "  read    read the PR01 configuration from the device and print it; with --ufg also\n"
    "          save it to FILE in the configuration file format; with --json print an object\n"
    "          with \"version\", \"bootVersion\" and \"rows\" (eight objects with \"row\",\n"
    "          \"code\", \"country\", \"denomination\" and \"exp\")\n"
    "          With --all, backs up every attached device at the same time into FOLDER (made\n"
    "          when missing), one file each named by its USB serial number (or port name) and\n"
    "          identity, \"XLTSIM129-PR01-0123-0001.ufg\"; a name already taken gets \"-2\",\n"
    "          \"-3\"... so no file is ever replaced. Prints one line per device and a summary\n"
    "          (with --json an array of objects: \"port\", \"device\", \"serial\", the\n"
    "          identity's fields as identity --json gives them, \"file\", \"result\",\n"
    "          \"message\", \"seconds\"); exit 0 only when every device was saved.\n"
    "  write   load FILE, which must hold the three sections [VERSION DATA], [BOOT VERSION]\n"
    "          and [CURRENCY ASSIG DATA] with all their values, and write it into the device;\n"
    "          with --dry-run print the fields the write would change (as diff does) and send\n"
    "          nothing. A currency value must be a hexadecimal byte (00 to FF).\n"
    "  diff    the fields in which the device's configuration and FILE differ (or FILE and\n"
    "          OTHER) as the device stores them (0A and a are the same byte), one line each:\n"
    "          \"<field>: <device or FILE> -> <FILE or OTHER>\", or \"No differences\"; with\n"
    "          --exit-code exit 1 when they differ, 0 when they are the same; with --json\n"
    "          print an array of objects with \"field\", \"from\" and \"to\" (empty: none)\n"
    "  detect  let the device detect its configuration, polling every 100 ms, and print the\n"
    "          items it reports; gives up after N seconds (default 30); with --json print\n"
    "          the object of read --json, an item not reported being null\n"
    "\n"
    "Exit status: 0 done (also when diff finds differences, unless --exit-code), 1 the device\n"
    "or a file failed (message on stderr) or diff --exit-code found differences, 2 bad usage\n"
    "or a configuration file that cannot be loaded or does not fit the device, 3 no device.\n"
    "With --exit-code the failures keep these codes; a failure's 1 comes with its reason on\n"
    "stderr.\n";

int usageError(const char *detail)
{
    std::fprintf(stderr, "xltctl config: %s\n%s", shownWord(detail).c_str(), kConfigUsage);
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

constexpr std::array<Column, 4> kColumns = {Column::Code, Column::Country, Column::Denom,
                                            Column::Exp};

/// A currency box's name in messages and differences: "Row 3 Country".
std::string boxName(std::size_t row, Column column)
{
    return "Row " + std::to_string(row) + " " + columnHeading(column);
}

/// A configuration as the write sends it: the texts, and the block they encode to.
struct Encoded
{
    Pr01Texts texts;
    ConfigBlock block{};
};

/// One field whose bytes differ: its name and its two texts as they are.
struct Difference
{
    std::string field;
    std::string from;
    std::string to;
};

/// The fields whose bytes differ between the blocks of `from` and `to`. Texts that encode to
/// the same bytes ('0A' and 'a', a version with or without zero bytes at its end) are no
/// difference: the write would not change them.
std::vector<Difference> differences(const Encoded &from, const Encoded &to)
{
    std::vector<Difference> out;
    const auto compare = [&out, &from, &to](const std::string &field, std::size_t offset,
                                            std::size_t size, const std::string &a,
                                            const std::string &b) {
        const auto first = static_cast<std::ptrdiff_t>(offset);
        const auto last = static_cast<std::ptrdiff_t>(offset + size);
        if (!std::equal(from.block.begin() + first, from.block.begin() + last,
                        to.block.begin() + first))
            out.push_back({field, a, b});
    };
    compare("Version", kVersionOffset, kVersionSize, from.texts.version, to.texts.version);
    compare("Boot version", kBootVersionOffset, kBootVersionSize, from.texts.bootVersion,
            to.texts.bootVersion);
    for (std::size_t row = 0; row < kRowCount; ++row) {
        for (std::size_t col = 0; col < kColumns.size(); ++col) {
            const Column column = kColumns[col];
            compare(boxName(row, column), kCurrencyOffset + 4 * row + col, 1,
                    cell(from.texts, row, column), cell(to.texts, row, column));
        }
    }
    return out;
}

void printJsonDocument(const QJsonDocument &document)
{
    const QByteArray out = document.toJson(QJsonDocument::Indented);
    std::fwrite(out.data(), 1, static_cast<std::size_t>(out.size()), stdout);
}

/// Prints the differences, one line each ("<field>: '<from>' -> '<to>'") or as a JSON array of
/// objects with "field", "from" and "to"; true when there are any.
bool printDifferences(const Encoded &from, const Encoded &to, bool json = false)
{
    const std::vector<Difference> found = differences(from, to);
    if (json) {
        QJsonArray list;
        for (const Difference &difference : found) {
            list.append(
                QJsonObject{{QStringLiteral("field"), QString::fromLatin1(difference.field)},
                            {QStringLiteral("from"), QString::fromLatin1(difference.from)},
                            {QStringLiteral("to"), QString::fromLatin1(difference.to)}});
        }
        printJsonDocument(QJsonDocument(list));
        return !found.empty();
    }
    if (found.empty())
        std::puts("No differences");
    for (const Difference &difference : found) {
        std::printf("%s: '%s' -> '%s'\n", difference.field.c_str(),
                    printable(difference.from).c_str(), printable(difference.to).c_str());
    }
    return !found.empty();
}

/// The configuration as a JSON object; the items that `items` leaves out (not detected) are
/// null.
void printJson(const Pr01Texts &texts, std::uint8_t items = AutoDetect::kAllItems)
{
    const auto text = [](const std::string &value) { return QString::fromLatin1(value); };
    const auto item = [&text, items](std::uint8_t flag, const std::string &value) {
        return (items & flag) ? QJsonValue(text(value)) : QJsonValue();
    };
    QJsonArray rows;
    for (std::size_t row = 0; row < kRowCount; ++row) {
        rows.append(QJsonObject{{QStringLiteral("row"), static_cast<int>(row)},
                                {QStringLiteral("code"), text(texts.code[row])},
                                {QStringLiteral("country"), text(texts.country[row])},
                                {QStringLiteral("denomination"), text(texts.denom[row])},
                                {QStringLiteral("exp"), text(texts.exp[row])}});
    }
    const QJsonObject object{
        {QStringLiteral("version"), item(AutoDetect::Version, texts.version)},
        {QStringLiteral("bootVersion"), item(AutoDetect::BootVersion, texts.bootVersion)},
        {QStringLiteral("rows"), (items & AutoDetect::Currency) ? QJsonValue(rows) : QJsonValue()}};
    printJsonDocument(QJsonDocument(object));
}

/// The block that `texts` encode to; nothing, after telling why, when they do not fit it.
std::optional<Encoded> encode(const Pr01Texts &texts, core::Notifier &notifier)
{
    EncodeResult encoded = encodeConfigBlock(texts);
    if (!encoded.block) {
        notifier.message(core::Icon::Exclamation, encoded.error);
        return std::nullopt;
    }
    return Encoded{texts, *encoded.block};
}

/// Loads a configuration file that holds a whole configuration and encodes it. The window keeps
/// what it could load in its boxes for the user to check, but here an empty, foreign or cut
/// file would put empty texts and the initial currency table into the device, or into a
/// comparison. A currency value that is not a hexadecimal byte ("zz", "100") is refused with
/// the line it is on, rather than sent as the byte the window would make of it.
std::optional<Encoded> loadFile(const std::string &path, core::Notifier &notifier)
{
    Pr01Texts texts = Pr01Texts::initial();
    UfgLines lines;
    if (!loadWholeConfigFileInto(pathArgument(path), texts, notifier, &lines))
        return std::nullopt;
    for (std::size_t row = 0; row < kRowCount; ++row) {
        for (std::size_t col = 0; col < kColumns.size(); ++col) {
            const std::string &text = cell(texts, row, kColumns[col]);
            if (hexByteValue(text))
                continue;
            const std::string problem = core::pathText(pathArgument(path)) + " line " +
                                        std::to_string(lines.currency[row][col]) + ": " +
                                        boxName(row, kColumns[col]) + " '" + text +
                                        "' is not a hexadecimal byte (00 to FF)";
            std::fprintf(stderr, "xltctl config: %s\n", printable(problem).c_str());
            return std::nullopt;
        }
    }
    return encode(texts, notifier);
}

std::optional<Pr01Reading> readReading(CliContext &cli)
{
    const auto reading = link::runToEnd<std::optional<Pr01Reading>>(*cli.device, kReadHolder,
                                                                    &readPr01Configuration);
    return reading ? *reading : std::nullopt;
}

/// The device's configuration as read and decoded, and the block that encodes to (which leaves
/// out what the texts do not hold: bytes after a text's end, byte 112).
std::optional<Encoded> readDevice(CliContext &cli)
{
    const auto reading = readReading(cli);
    if (!reading)
        return std::nullopt;
    return encode(reading->texts, cli.notifier);
}

/// `args`: the subcommand's words, "diff" first. With `exitCode`, differences give 1, which
/// main then leaves as it is (verdictGiven()).
int diffConfig(const Args &args, bool exitCode, bool json)
{
    CliContext cli;
    const std::optional<Encoded> file = loadFile(args[1], cli.notifier);
    if (!file)
        return 2;
    std::optional<Encoded> other;
    if (args.size() == 3) {
        other = loadFile(args[2], cli.notifier);
        if (!other)
            return 2;
    }
    const std::optional<Encoded> device = other ? std::nullopt : readDevice(cli);
    if (!other && !device)
        return 1;
    const bool differ =
        other ? printDifferences(*file, *other, json) : printDifferences(*device, *file, json);
    verdictGiven() = exitCode && differ;
    return verdictGiven() ? 1 : 0;
}

int readConfig(const std::optional<std::string> &ufgPath, bool json)
{
    CliContext cli;
    const auto reading = readReading(cli);
    if (!reading)
        return 1;
    const Pr01Texts &texts = reading->texts;
    if (json)
        printJson(texts);
    else
        printTexts(texts);
    QString reason;
    if (ufgPath && !saveUfgFile(pathArgument(*ufgPath), texts, &reason)) {
        cli.notifier.message(core::Icon::Exclamation, "Cannot save configuration file " +
                                                          core::pathText(pathArgument(*ufgPath)) +
                                                          ": " + core::fromQString(reason));
        return 1;
    }
    return 0;
}

/// A name for a backup file: the serial number (or the port name) and the identity's fields,
/// with every byte but letters, digits, '.' and '-' made '_': "XLTSIM129-PR01-0123-0001".
std::string backupStem(const link::PortRecord &port, const QJsonObject &identity)
{
    std::string stem = port.serialNumber.empty() ? port.portName : port.serialNumber;
    for (const char *field : {"interface", "firmware", "mod"}) {
        const std::string text = identity.value(QLatin1String(field)).toString().toStdString();
        if (!text.empty())
            stem += "-" + text;
    }
    for (char &c : stem) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
            c = '_';
    }
    return stem;
}

/// Makes a new empty file for a backup in `folder`, "<stem>.ufg" or, when that name is taken,
/// "<stem>-2.ufg" and so on: no backup ever replaces another file. Empty when none could be
/// made; `reason` then says why.
std::filesystem::path reserveBackup(const std::filesystem::path &folder, const std::string &stem,
                                    std::string &reason)
{
    for (int n = 1; n <= 999; ++n) {
        std::filesystem::path path =
            folder / (stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".ufg");
        QString why;
        const core::NewFile made = core::createNewFile(path, &why);
        if (made == core::NewFile::Created)
            return path;
        if (made == core::NewFile::Failed) {
            reason = "cannot make " + core::pathText(path) + ": " + core::fromQString(why);
            return {};
        }
    }
    reason = "999 backups named " + stem + " are there already";
    return {};
}

/// config read --all --dir FOLDER: every device's identity, then every device's configuration
/// into a file of its own in FOLDER, the devices at the same time.
int readAllConfigs(const std::string &dir, bool json)
{
    int exitCode = 0;
    const auto ports = fleetPorts("config", exitCode);
    if (!ports)
        return exitCode;
    const std::filesystem::path folder = pathArgument(dir);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder)) {
        std::fprintf(stderr, "xltctl config: %s is not a folder that can be made\n",
                     shownPath(folder).c_str());
        return 1;
    }
    const std::vector<ChildRun> identities = runForEach(*ports,
                                                        [](std::size_t) {
                                                            return Args{"identity", "--json"};
                                                        },
                                                        {});
    std::vector<FleetEntry> entries;
    std::vector<std::filesystem::path> files(ports->size());
    for (std::size_t i = 0; i < ports->size(); ++i) {
        FleetEntry entry = entryOf(identities[i], "saved");
        entry.fields = jsonObjectOf(identities[i].out);
        entry.fields.insert(QStringLiteral("file"), QJsonValue());
        if (entry.ok) {
            files[i] = reserveBackup(folder, backupStem((*ports)[i], entry.fields), entry.message);
            entry.ok = !files[i].empty();
            entry.result = entry.ok ? entry.result : "failed";
        }
        entries.push_back(std::move(entry));
    }
    std::vector<link::PortRecord> reading;
    std::vector<std::size_t> readers;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].ok) {
            reading.push_back((*ports)[i]);
            readers.push_back(i);
        }
    }
    const std::vector<ChildRun> reads =
        runForEach(reading,
                   [&](std::size_t r) {
                       return Args{"config", "read", "--json", "--ufg", files[readers[r]].string()};
                   },
                   {});
    for (std::size_t r = 0; r < reads.size(); ++r) {
        const std::size_t i = readers[r];
        FleetEntry read = entryOf(reads[r], "saved");
        FleetEntry &entry = entries[i];
        entry.time += read.time;
        entry.ok = read.ok;
        entry.result = read.result;
        entry.message = read.message;
        if (read.ok) {
            entry.fields.insert(QStringLiteral("file"), core::toQPath(files[i]));
            entry.detail = "-> " + shownPath(files[i]);
        } else {
            std::filesystem::remove(files[i], error); // the empty file made for it
        }
    }
    for (FleetEntry &entry : entries) {
        const QString identity = entry.fields.value(QStringLiteral("identity")).toString();
        if (!identity.isEmpty())
            entry.detail = printable(identity.toLatin1().toStdString()) +
                           (entry.detail.empty() ? "" : "  " + entry.detail);
    }
    return printFleetReport(entries, json);
}

int writeConfig(const std::string &path, bool dryRun)
{
    CliContext cli;
    const std::optional<Encoded> loaded = loadFile(path, cli.notifier);
    if (!loaded)
        return 2;
    const Pr01Texts &texts = loaded->texts;
    if (dryRun) {
        const std::optional<Encoded> device = readDevice(cli);
        if (!device)
            return 1;
        printDifferences(*device, *loaded);
        return 0;
    }
    // The write keeps the device's host drive byte as it reads it within the write.
    link::Operation write(*cli.device);
    bool written = false;
    startPr01Write(write, cli.notifier, texts, [&written](bool ok) { written = ok; });
    if (!written)
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

std::optional<int> parseSeconds(const std::optional<std::string> &given)
{
    if (!given)
        return kDefaultDetectSeconds;
    int seconds = 0;
    const std::string &text = *given;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || seconds < 1 ||
        seconds > kMaxDetectSeconds)
        return std::nullopt;
    return seconds;
}

int detectConfig(int seconds, bool json)
{
    CliContext cli;
    CollectingSink sink;
    AutoDetect detect(*cli.device, sink);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timedOut = false;
    // Between polls: as the window's abort once the time is up, so the next poll still polls
    // and fetches, then ends.
    cli.line->setPause([&](std::chrono::milliseconds delay) {
        std::this_thread::sleep_for(delay);
        if (!timedOut && std::chrono::steady_clock::now() >= deadline) {
            detect.abort();
            timedOut = true;
        }
        return true;
    });
    bool started = false;
    if (!detect.start([&started](bool ok) { started = ok; }, {}) || !started)
        return 1;
    if (json)
        printJson(sink.texts, detect.itemsRead());
    else
        printTexts(sink.texts, detect.itemsRead());
    if (detect.itemsRead() != AutoDetect::kAllItems) {
        cli.notifier.message(core::Icon::Exclamation,
                             timedOut ? "Detection stopped after " + std::to_string(seconds) +
                                            " s before every item was reported."
                                      : "Detection ended before every item was reported.");
        return 1;
    }
    return 0;
}

/// What a subcommand takes, told when its words are refused; empty for no known subcommand.
std::string ruleOf(const Args &words)
{
    const std::string sub = words.empty() ? std::string() : words.front();
    if (sub == "read")
        return "read takes only --ufg FILE and --json, or --all, --dir FOLDER and --json";
    if (sub == "write")
        return "write takes one FILE.ufg and optionally --dry-run";
    if (sub == "diff")
        return "diff takes FILE.ufg, optionally OTHER.ufg, --exit-code and --json";
    if (sub == "detect")
        return "detect takes --seconds N with N from 1 to 3600, and --json";
    return {};
}

} // namespace

int runConfig(const Args &args)
{
    CommandLine commandLine("config", kConfigUsage);
    const QString json = QStringLiteral("json");
    const QString ufg = QStringLiteral("ufg");
    const QString dryRun = QStringLiteral("dry-run");
    const QString seconds = QStringLiteral("seconds");
    const QString exitCodeFlag = QStringLiteral("exit-code");
    const QString all = QStringLiteral("all");
    const QString dir = QStringLiteral("dir");
    commandLine.flag({json});
    commandLine.flag({all});
    commandLine.option(dir, QStringLiteral("FOLDER"), true);
    commandLine.flag({dryRun});
    commandLine.flag({exitCodeFlag});
    commandLine.option(ufg, QStringLiteral("FILE"), true);
    commandLine.option(seconds, QStringLiteral("N"), true);
    if (const auto exitCode = commandLine.parse(args, ruleOf))
        return *exitCode;
    const Args &words = commandLine.positional();
    if (words.empty())
        return usageError("missing subcommand");
    // Each subcommand takes its own options only, and its number of words.
    const auto takes = [&](const QStringList &own, std::size_t fewest, std::size_t most) {
        for (const QString &name : {json, ufg, dryRun, seconds, exitCodeFlag, all, dir}) {
            if (commandLine.isSet(name) && !own.contains(name))
                return false;
        }
        return words.size() >= fewest && words.size() <= most;
    };
    const std::string &sub = words.front();
    if (sub == "read") {
        if (commandLine.isSet(all) || commandLine.isSet(dir)) {
            if (!takes({all, dir, json}, 1, 1) || !commandLine.isSet(all) ||
                !commandLine.isSet(dir))
                return usageError(ruleOf(words).c_str());
            return readAllConfigs(*commandLine.value(dir), commandLine.isSet(json));
        }
        if (!takes({ufg, json}, 1, 1))
            return usageError(ruleOf(words).c_str());
        return readConfig(commandLine.value(ufg), commandLine.isSet(json));
    }
    if (sub == "write") {
        if (!takes({dryRun}, 2, 2))
            return usageError(ruleOf(words).c_str());
        return writeConfig(words[1], commandLine.isSet(dryRun));
    }
    if (sub == "detect") {
        const std::optional<int> detectSeconds = parseSeconds(commandLine.value(seconds));
        if (!takes({seconds, json}, 1, 1) || !detectSeconds)
            return usageError(ruleOf(words).c_str());
        return detectConfig(*detectSeconds, commandLine.isSet(json));
    }
    if (sub == "diff") {
        if (!takes({exitCodeFlag, json}, 2, 3))
            return usageError(ruleOf(words).c_str());
        return diffConfig(words, commandLine.isSet(exitCodeFlag), commandLine.isSet(json));
    }
    return usageError(("unknown subcommand '" + sub + "'").c_str());
}

} // namespace xlt::cli
