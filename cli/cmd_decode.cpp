// xltctl decode: the monitor's decoder and listing without a device, for single frames and for
// capture-read replies kept as hexadecimal text.
#include "CommandLine.h"
#include "Commands.h"
#include "HexInput.h"
#include "Printable.h"
#include "PrintingList.h"
#include "core/EventPump.h"
#include "core/FileIo.h"
#include "core/Text.h"
#include "monitor/TrafficListing.h"
#include "monitor/TrafficLog.h"

#include <QDateTime>
#include <array>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace xlt::cli {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kDecodeUsage[] =
    "usage: xltctl decode --frame TAG HEX...\n"
    "       xltctl decode --replies [FILE] [--log-dir DIR] [--check]\n"
    "\n"
    "--frame    prints the decoded line of one frame. TAG is the record tag in hex (35 or 55\n"
    "           for SSP on the target side, AA or CA for ID003 on the host side), HEX the frame\n"
    "           bytes (spaces optional).\n"
    "--replies  lists capture-read replies, one per line in hex (spaces optional; empty lines\n"
    "           and lines starting with # are ignored), from FILE or standard input, as one\n"
    "           monitor run does. Prints each target line as tgt|LINE and each host line as\n"
    "           xlt|LINE in the order they are added, then label|target|TEXT and\n"
    "           label|host|TEXT. --log-dir DIR also writes the run's two log files in DIR.\n"
    "           'xltctl monitor --raw FILE' writes such a file.\n"
    "--check    after each record's five lines, a line check|target|VERDICT or\n"
    "           check|host|VERDICT: crc=good, crc=bad or crc=unchecked (a frame of neither\n"
    "           protocol, or cut off by the end of its reply), and for a reply that answers a\n"
    "           request of the same side \" reply=<n>ms\", the time since that request.\n"
    "\n"
    "Exit codes: 0 done, 1 a log file could not be written, 2 bad usage or bad input.\n";

/// `problem` quotes words of the command line as given: they are escaped here.
int usageError(const std::string &problem)
{
    std::fprintf(stderr, "xltctl decode: %s\n%s", shownWord(problem).c_str(), kDecodeUsage);
    return 2;
}

/// `args`: the tag, then the frame's bytes.
int decodeFrame(const Args &args)
{
    if (args.size() < 2)
        return usageError("--frame needs a tag and the frame bytes");
    std::string problem;
    const auto tag = parseHex(args[0], problem);
    if (!tag || tag->size() != 1)
        return usageError("tag '" + args[0] + "' is not one hexadecimal byte");
    const std::uint8_t tagByte = tag->front();
    if (tagByte != monitor::kTagTargetRx && tagByte != monitor::kTagTargetTx &&
        tagByte != monitor::kTagHostTx && tagByte != monitor::kTagHostRx)
        return usageError("tag '" + args[0] + "' is none of 35, 55, AA and CA");
    std::string hex;
    for (std::size_t i = 1; i < args.size(); ++i)
        hex += args[i] + ' ';
    const auto frameBytes = parseHex(hex, problem);
    if (!frameBytes) {
        std::fprintf(stderr, "xltctl decode: frame: %s\n", shownWord(problem).c_str());
        return 2;
    }
    monitor::WorkingFrame frame{};
    std::copy(frameBytes->begin(), frameBytes->end(), frame.begin());
    ValueLabel lblTarget;
    ValueLabel lblHost;
    printLine({}, monitor::DecodePacket(frame, tagByte, lblTarget, lblHost));
    return 0;
}

struct RepliesOptions
{
    std::string file;   // empty or "-": standard input
    std::string logDir; // empty: no log files
    bool logging = false;
    bool check = false;
};

std::optional<RepliesOptions> parseRepliesOptions(const CommandLine &commandLine,
                                                  std::string &problem)
{
    RepliesOptions options;
    if (commandLine.positional().size() > 1) {
        problem = "unexpected argument '" + commandLine.positional()[1] + "'";
        return std::nullopt;
    }
    if (!commandLine.positional().empty())
        options.file = commandLine.positional().front();
    if (const auto dir = commandLine.value(QStringLiteral("log-dir"))) {
        options.logDir = *dir;
        options.logging = true;
    }
    options.check = commandLine.isSet(QStringLiteral("check"));
    return options;
}

/// A file opened by the program read as a stream, in pieces.
class DeviceStreamBuffer final : public std::streambuf
{
public:
    explicit DeviceStreamBuffer(QIODevice &device)
        : m_device(device)
    {}

protected:
    int_type underflow() override
    {
        const qint64 n = m_device.read(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        if (n <= 0)
            return traits_type::eof();
        setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + n);
        return traits_type::to_int_type(m_buffer[0]);
    }

private:
    QIODevice &m_device;
    std::array<char, 65536> m_buffer{};
};

// Lists the replies of `in` in order; returns the exit code.
int listReplies(std::istream &in, monitor::TrafficLog *log, bool check)
{
    PrintingList target("tgt|");
    PrintingList host("xlt|");
    if (check) {
        target.checkRecords("target");
        host.checkRecords("host");
    }
    ValueLabel lblTarget;
    ValueLabel lblHost;
    core::NullEventPump pump;
    monitor::TrafficListing listing(target, host, lblTarget, lblHost, pump);
    link::XLTPacket packet; // reused like the shared command record: old bytes stay behind

    int exitCode = 0;
    std::string text;
    bool tooLong = false;
    for (int lineNumber = 1; readHexLine(in, text, tooLong); ++lineNumber) {
        if (tooLong) {
            std::fflush(stdout);
            std::fprintf(stderr, "xltctl decode: line %d: longer than %zu characters\n", lineNumber,
                         kMaxHexLineChars);
            exitCode = 2;
            continue;
        }
        const std::size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#')
            continue;
        std::string problem;
        const auto bytes = parseHex(text, problem);
        if (!bytes) {
            // The problem quotes the input's bytes.
            std::fflush(stdout);
            std::fprintf(stderr, "xltctl decode: line %d: %s\n", lineNumber,
                         printable(problem).c_str());
            exitCode = 2;
            continue;
        }
        packet.ReplyLength = static_cast<std::uint8_t>(bytes->size());
        std::copy(bytes->begin(), bytes->end(), packet.ReplyData);
        const auto added = listing.ProcessCapture(packet);
        if (log) {
            std::string failure = log->appendTarget(added.target);
            if (failure.empty())
                failure = log->appendHost(added.host);
            if (!failure.empty()) {
                std::fflush(stdout);
                std::fprintf(stderr, "xltctl decode: %s\n", printable(failure).c_str());
                return 1;
            }
        }
    }
    printLine("label|target|", lblTarget.text);
    printLine("label|host|", lblHost.text);
    return exitCode;
}

int decodeReplies(const CommandLine &commandLine)
{
    std::string problem;
    const auto options = parseRepliesOptions(commandLine, problem);
    if (!options)
        return usageError(problem);
    std::optional<monitor::TrafficLog> log;
    if (options->logging) {
        const std::filesystem::path dir = pathArgument(options->logDir);
        if (!core::isFolder(dir))
            return usageError("log directory '" + shownPath(dir) + "' does not exist");
        log.emplace(dir, monitor::TrafficLog::baseName(QDateTime::currentDateTime()));
    }
    if (options->file.empty() || options->file == "-")
        return listReplies(std::cin, log ? &*log : nullptr, options->check);
    // A named file must be a regular one: a device such as /dev/zero would never end, a pipe
    // could hold the open. Standard input ("-") stays open to pipes.
    const std::filesystem::path path = pathArgument(options->file);
    QString reason;
    const std::unique_ptr<QFile> file = core::openRegularFile(path, &reason);
    if (!file) {
        std::fprintf(stderr, "xltctl decode: cannot read '%s': %s\n", shownPath(path).c_str(),
                     core::fromQString(reason).c_str());
        return 2;
    }
    DeviceStreamBuffer buffer(*file);
    std::istream in(&buffer);
    return listReplies(in, log ? &*log : nullptr, options->check);
}

} // namespace

int runDecode(const Args &args)
{
    CommandLine commandLine("decode", kDecodeUsage);
    commandLine.flag({QStringLiteral("frame")});
    commandLine.flag({QStringLiteral("replies")});
    commandLine.flag({QStringLiteral("check")});
    commandLine.option(QStringLiteral("log-dir"), QStringLiteral("DIR"));
    if (const auto exitCode = commandLine.parse(args))
        return *exitCode;
    const bool frame = commandLine.isSet(QStringLiteral("frame"));
    if (frame == commandLine.isSet(QStringLiteral("replies")))
        return usageError(frame ? "say --frame or --replies, not both"
                                : "say --frame or --replies");
    if (!frame)
        return decodeReplies(commandLine);
    if (commandLine.isSet(QStringLiteral("check")) || commandLine.isSet(QStringLiteral("log-dir")))
        return usageError("--check and --log-dir go with --replies");
    return decodeFrame(commandLine.positional());
}

} // namespace xlt::cli
