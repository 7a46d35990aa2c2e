#include "SystemPorts.h"

#include "SimRegistry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>

namespace fs = std::filesystem;

namespace xlt::link {

namespace {

struct TtyFamily
{
    std::string_view prefix;
    int firstPort;
    int count;
};

// Fixed ranges, so that a port keeps its number whatever else is plugged in.
constexpr TtyFamily kTtyFamilies[] = {
    {"ttyUSB", 33, 32},
    {"ttyACM", 65, 64},
    {"ttyS", 1, 32},
};

std::optional<int> portNumberOf(std::string_view name)
{
    for (const TtyFamily &family : kTtyFamilies) {
        if (!name.starts_with(family.prefix))
            continue;
        const std::string_view digits = name.substr(family.prefix.size());
        int k = -1;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            (digits.size() > 1 && digits.front() == '0') || k < 0 || k >= family.count)
            return std::nullopt;
        return family.firstPort + k;
    }
    return std::nullopt;
}

std::string driverOf(const fs::path &tty)
{
    std::error_code error;
    const fs::path target = fs::read_symlink(tty / "device" / "driver", error);
    return error ? std::string() : target.filename().string();
}

/// A ttyS whose type reads 0 is a slot without a UART behind it.
bool hasNoUart(const fs::path &tty)
{
    std::ifstream in(tty / "type");
    int type = -1;
    return in >> type && type == 0;
}

std::string usbSerialOf(const fs::path &tty)
{
    std::error_code error;
    fs::path dir = fs::canonical(tty / "device", error);
    for (int level = 0; !error && level < 3; ++level, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", error)) {
            std::ifstream in(dir / "serial");
            std::string serial;
            std::getline(in, serial);
            return serial;
        }
    }
    return {};
}

std::string familyObjectName(const std::string &driver, std::map<std::string, int> &indices)
{
    std::string prefix = "\\Device\\Serial";
    if (driver == "cdc_acm")
        prefix = "\\Device\\USBSER";
    else if (driver == "ftdi_sio")
        prefix = "\\Device\\VCP";
    else if (driver == "cp210x")
        prefix = "\\Device\\slabser";
    const int index = indices[prefix]++;
    if (prefix == "\\Device\\USBSER") {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%03d", index);
        return prefix + digits;
    }
    return prefix + std::to_string(index);
}

} // namespace

std::vector<PortRecord> kernelSerialPorts(const std::string &ttyClassDir, const std::string &devDir)
{
    struct Found
    {
        int number;
        std::string name;
        std::string driver;
        std::string serial;
    };
    std::vector<Found> found;
    std::error_code error;
    for (const auto &item : fs::directory_iterator(ttyClassDir, error)) {
        const std::string name = item.path().filename().string();
        const auto number = portNumberOf(name);
        if (!number)
            continue;
        std::string driver = driverOf(item.path());
        if (driver.empty() || (name.starts_with("ttyS") && hasNoUart(item.path())))
            continue;
        found.push_back({*number, name, std::move(driver), usbSerialOf(item.path())});
    }
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.number < b.number; });

    std::vector<PortRecord> records;
    records.reserve(found.size());
    std::map<std::string, int> indices;
    for (const Found &port : found) {
        records.push_back({familyObjectName(port.driver, indices),
                           "COM" + std::to_string(port.number), devDir + "/" + port.name,
                           port.serial});
    }
    return records;
}

std::vector<PortRecord> simulatorPorts(const std::string &registryDir)
{
    std::vector<PortRecord> records;
    for (const SimPort &port : readSimPorts(registryDir)) {
        records.push_back({"\\Device\\USBSERV" + std::to_string(port.index),
                           "COM" + std::to_string(kFirstSimPortNumber + port.index),
                           port.devicePath, port.serial});
    }
    return records;
}

LinuxPortSource::LinuxPortSource(std::string ttyClassDir, std::string devDir,
                                 std::string registryDir)
    : m_ttyClassDir(std::move(ttyClassDir))
    , m_devDir(std::move(devDir))
    , m_registryDir(std::move(registryDir))
{}

std::vector<PortRecord> LinuxPortSource::ports()
{
    // The emulator's ports come first: the device search takes the last port of the family, so
    // a real device always wins over an emulator.
    std::vector<PortRecord> records =
        simulatorPorts(m_registryDir.empty() ? simRegistryDir() : m_registryDir);
    const auto kernelPorts = kernelSerialPorts(m_ttyClassDir, m_devDir);
    records.insert(records.end(), kernelPorts.begin(), kernelPorts.end());
    return records;
}

} // namespace xlt::link
