#include "SimArgs.h"

#include "StateFile.h"
#include "core/CommandLineWords.h"
#include "link/SimRegistry.h"

#include <QCommandLineParser>
#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <type_traits>

namespace xlt::sim {

namespace {

std::optional<long> parseNumber(const std::string &text, long low, long high)
{
    long value = 0;
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

/// A USB serial number descriptor holds at most 126 characters; printable ASCII, no blanks.
constexpr std::size_t kMaxSerialBytes = 126;

using Setter = std::function<bool(SimArgs &, const std::string &)>;

struct Option
{
    bool takesValue;
    Setter set;
};

/// A number within [low, high] stored in a device switch (plain, optional or milliseconds).
template<class T> Option number(long low, long high, T DeviceOptions::*member)
{
    return {true, [=](SimArgs &args, const std::string &text) {
                const auto value = parseNumber(text, low, high);
                if (!value)
                    return false;
                if constexpr (std::is_same_v<T, std::chrono::milliseconds>)
                    args.device.*member = std::chrono::milliseconds(*value);
                else if constexpr (requires { typename T::value_type; })
                    args.device.*member = static_cast<typename T::value_type>(*value);
                else
                    args.device.*member = static_cast<T>(*value);
                return true;
            }};
}

/// One of the named values of a device switch.
template<class T> Option choice(T DeviceOptions::*member, std::map<std::string, T> names)
{
    return {true, [=](SimArgs &args, const std::string &text) {
                const auto it = names.find(text);
                if (it != names.end())
                    args.device.*member = it->second;
                return it != names.end();
            }};
}

/// A switch that the option turns on.
Option flag(bool DeviceOptions::*member)
{
    return {false, [=](SimArgs &args, const std::string &) { return args.device.*member = true; }};
}

/// A text of at most `longest` bytes stored in `member` of the arguments.
Option text(std::string SimArgs::*member, std::size_t longest)
{
    return {true, [=](SimArgs &args, const std::string &value) {
                args.*member = value;
                return !value.empty() && value.size() <= longest;
            }};
}

const std::map<std::string, Option> &options()
{
    using O = DeviceOptions;
    static const std::map<std::string, Option> table = {
        {"state",
         {true,
          [](SimArgs &a, const std::string &v) {
              a.device.statePath = v;
              return !v.empty();
          }}},
        {"no-state",
         {false,
          [](SimArgs &a, const std::string &) {
              a.device.statePath.clear();
              return true;
          }}},
        {"registry", text(&SimArgs::registryDir, 4096)},
        {"serial",
         {true,
          [](SimArgs &a, const std::string &v) {
              a.serial = v;
              return !v.empty() && v.size() <= kMaxSerialBytes &&
                     std::all_of(v.begin(), v.end(), [](char c) { return c > ' ' && c < 0x7F; });
          }}},
        {"identity",
         {true,
          [](SimArgs &a, const std::string &v) {
              a.device.identity = v;
              return v.size() <= kMaxReplyData;
          }}},
        {"traffic", choice(&O::traffic, {{"quiet", TrafficLevel::Quiet},
                                         {"normal", TrafficLevel::Normal},
                                         {"flood", TrafficLevel::Flood}})},
        {"stray-bytes", flag(&O::strayBytes)},
        {"seed", number(0, 0x7FFFFFFF, &O::trafficSeed)},
        {"bad-crc-traffic", number(0, 0x7FFFFFFF, &O::badCrcEvery)},
        {"detect-all", flag(&O::detectAllAtOnce)},
        {"fetch-flag-7", flag(&O::fetchReportsAll)},
        {"detect-status", number(0, 255, &O::detectTarget)},
        {"detect-fail", flag(&O::detectStatusFails)},
        {"refuse-block", number(0, 65535, &O::refuseBlock)},
        {"disconnect-block", number(0, 65535, &O::disconnectAtBlock)},
        {"timeout-block", number(0, 65535, &O::timeoutAtBlock)},
        {"copy-ms", number(0, 600000, &O::firstStageCopy)},
        {"image-blocks", number(1, 32768, &O::imageBlocks)},
        {"keep-identity", flag(&O::keepIdentity)},
        {"fault", choice(&O::fault, {{"none", Fault::None},
                                     {"no-reply", Fault::NoReply},
                                     {"bad-crc", Fault::BadCrc},
                                     {"garbage", Fault::GarbageBefore},
                                     {"garbage-only", Fault::GarbageOnly},
                                     {"noise", Fault::NoiseBefore},
                                     {"fail-status", Fault::FailStatus}})},
        {"fault-code", number(0, 255, &O::faultCode)},
        {"fail-status", number(0, 255, &O::failStatus)},
        {"disconnect-after", number(1, 1000000000, &O::disconnectAfter)},
        {"unplug-after", number(1, 1000000000, &O::unplugAfter)},
        {"pace", flag(&O::pace9600)},
        {"help", {false, [](SimArgs &a, const std::string &) { return a.help = true; }}},
        {"h", {false, [](SimArgs &a, const std::string &) { return a.help = true; }}},
        {"version", {false, [](SimArgs &a, const std::string &) { return a.version = true; }}},
    };
    return table;
}

} // namespace

bool parseSimArgs(const std::vector<std::string> &args, SimArgs &out, std::string &error)
{
    out = SimArgs{};
    out.device.statePath = defaultStatePath();
    out.registryDir = link::simRegistryDir();
    QCommandLineParser parser;
    for (const auto &[name, option] : options()) {
        const QString key = core::commandWord(name);
        parser.addOption(option.takesValue ? QCommandLineOption(key, {}, QStringLiteral("VALUE"))
                                           : QCommandLineOption(key));
    }
    QStringList words{QStringLiteral("xlt-sim")};
    for (const std::string &arg : args)
        words.append(core::commandWord(arg));
    if (!parser.parse(words)) {
        error = core::parserProblem(parser, "") + " (see --help)";
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = "unexpected argument '" + core::wordBytes(parser.positionalArguments().front()) +
                "' (see --help)";
        return false;
    }
    // In the order given, so that a later option overrides an earlier one (--no-state after
    // --state FILE, say); the values of an option given twice are taken in turn.
    std::map<QString, qsizetype> used;
    for (const QString &key : parser.optionNames()) {
        const std::string name = core::wordBytes(key);
        const Option &option = options().at(name);
        const std::string value =
            option.takesValue ? core::wordBytes(parser.values(key).at(used[key]++)) : std::string();
        if (!option.set(out, value)) {
            error = "invalid value for --";
            error += name;
            error += ": ";
            error += value;
            return false;
        }
    }
    return true;
}

std::string simUsage()
{
    return R"(Usage: xlt-sim [options]

Emulates an XLT protocol convertor on a pseudo-terminal. The port is registered in the
emulator's port registry, so XLT finds it like a USB serial device (COM129 and up). Runs until
interrupted (Ctrl+C) or terminated; the registration is removed on exit.

Device:
  --identity TEXT        identity text reported to command 16 (default "PR01 01230001":
                         interface, a space, firmware version, mod number)
  --state FILE           file that keeps the configuration block across restarts
                         (default $XDG_STATE_HOME/xlt-sim/device.state, or
                         ~/.local/state/xlt-sim/device.state)
  --no-state             keep the configuration block in memory only
  --registry DIR         port registry directory (default $XLT_SIM_DIR, else
                         $XDG_RUNTIME_DIR/xlt-sim, else /tmp/xlt-sim-<uid>)
  --serial TEXT          USB serial number of the port, as xltctl ports shows it (default
                         XLTSIM<n>, n the port number: XLTSIM129); printable ASCII without
                         blanks, at most 126 characters

Traffic capture (commands 2 and 1):
  --traffic LEVEL        quiet: idle polling on both ports only; normal (default): idle
                         polling and every few seconds a note accepted or acceptance
                         disabled and enabled again; flood: every reply full (255 bytes)
  --stray-bytes          stray bytes between the records of a reply
  --seed N               seed of the traffic's timing jitter (default 1)
  --bad-crc-traffic N    every Nth captured frame (both ports counted) carries a wrong
                         CRC, for the monitor's CRC check (default 0: none)

Automatic configuration detection (commands 20, 22, 23):
  --detect-all           report every item at the first status request (default: one
                         more item with each status request)
  --fetch-flag-7         byte 0 of each fetch reply is 7 (default: the item's own flag)
  --detect-status N      flags the status reaches in the end (default 7; 3 or 15 never
                         finish a detection)
  --detect-fail          refuse every status request with the failure status

Firmware update (command 21):
  --refuse-block N       refuse block N (status 4)
  --disconnect-block N   vanish when block N arrives
  --timeout-block N      do not answer block N
  --copy-ms MS           how long the device refuses every command after block 255
                         while it copies the first stage (default 2800)
  --image-blocks N       blocks in a whole firmware image (default 300): the identity in
                         block 15 is put in use only after that many blocks arrived in order
  --keep-identity        a completed update leaves the identity as it was (for
                         xltctl update --verify)

Line faults:
  --fault KIND           none (default), no-reply, bad-crc, garbage (stray bytes before
                         each valid reply), garbage-only (stray bytes, no reply),
                         noise (7F 7F and 7F 01 05 03 7F before each valid reply),
                         fail-status (a reply with the failure status)
  --fault-code CODE      apply --fault only to commands with this code (e.g. 16 or 0x10)
  --fail-status N        the failure status used by fail-status and --detect-fail
                         (default 4)
  --disconnect-after N   answer N commands, then vanish (the emulator then exits)
  --unplug-after N       answer N commands, then vanish before the next one, as a device
                         unplugged between two exchanges: the next open finds no port
                         (the emulator then exits)
  --pace                 a 9600-baud line both ways (about 1.04 ms a byte): a command is
                         answered once its last byte would have arrived, and the reply
                         is sent at that pace

  -h, --help             show this text
  --version              print the version
)";
}

} // namespace xlt::sim
