#include "USB_COM.h"

#include "Operation.h"
#include "XLTPacket.h"
#include "core/ByteText.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

namespace xlt::link {

namespace {

/// The system's buffers: 255 characters for a value name and 255 bytes for its data, both
/// including the terminating zero.
constexpr std::size_t kNameBuffer = 255;
constexpr std::size_t kDataBuffer = 255;

struct FamilyLabel
{
    std::string_view prefix;
    std::string_view label;
};

constexpr FamilyLabel kFamilies[] = {
    {"\\Device\\VCP", " (KV4)"},
    {"\\Device\\USBSER", " (BV)"},
    {"\\Device\\slabser", " (Hopper)"},
};

bool fitsBuffers(const PortRecord &record)
{
    return record.objectName.size() < kNameBuffer && record.portName.size() < kDataBuffer;
}

/// Every entry the source gives, in order, without the table's limit.
std::vector<std::string> allEntries(PortSource &source)
{
    std::vector<std::string> entries;
    for (const PortRecord &record : source.ports()) {
        if (fitsBuffers(record))
            entries.push_back(serialPortEntry(record));
    }
    return entries;
}

/// The port number of an entry labelled "(BV)", or nothing when the entry is not labelled or
/// its number is no usable port number.
std::optional<std::uint16_t> deviceNumber(std::string_view entry)
{
    if (entry.size() < 4)
        return std::nullopt;
    std::string tail(entry.substr(entry.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (tail != "(BV)")
        return std::nullopt;
    std::string_view rest = entry.substr(0, entry.size() - std::min<std::size_t>(5, entry.size()));
    rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
    unsigned value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255)
            return std::nullopt; // does not fit PortNumber: opening it would open another port
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::string serialPortEntry(const PortRecord &record)
{
    std::string entry = record.portName;
    for (const FamilyLabel &family : kFamilies) {
        if (std::string_view(record.objectName).starts_with(family.prefix)) {
            entry += family.label;
            break;
        }
    }
    return entry;
}

void ListSerialPorts(PortSource &source, SerialPortTable &table, std::int16_t &count)
{
    count = 0;
    for (std::string &entry : allEntries(source)) {
        if (static_cast<std::size_t>(count) == table.size())
            break;
        table[static_cast<std::size_t>(count)] = std::move(entry);
        ++count;
    }
}

std::uint16_t FindXLTPort(PortSource &source)
{
    std::uint16_t result = 0;
    for (const PortRecord &record : source.ports()) {
        if (const std::uint16_t number = devicePortNumber(record))
            result = number;
    }
    return result;
}

std::uint16_t devicePortNumber(const PortRecord &record)
{
    if (!fitsBuffers(record))
        return 0;
    return deviceNumber(serialPortEntry(record)).value_or(0);
}

std::string describePort(const PortRecord &record)
{
    std::string name = record.portName;
    if (record.devicePath.empty())
        return name;
    name += " (";
    core::appendShown(name, record.devicePath);
    name += ')';
    return name;
}

std::string describePort(PortSource &source, std::uint16_t portNumber)
{
    std::string name = "COM" + std::to_string(portNumber);
    for (const PortRecord &record : source.ports()) {
        if (record.portName == name && !record.devicePath.empty())
            return describePort(record);
    }
    return name;
}

std::uint16_t FindXLTPort(Flow &flow)
{
    flow.XLTPortNumber = FindXLTPort(flow.ports);
    if (flow.XLTPortNumber != 0) {
        flow.CmdPacket.PortNumber = static_cast<std::uint8_t>(flow.XLTPortNumber);
        flow.CmdPacket.BaudRate = kBaudRate;
        flow.CmdPacket.Timeout = kTimeoutMs;
        flow.portFound(flow.XLTPortNumber);
    }
    return flow.XLTPortNumber;
}

} // namespace xlt::link
