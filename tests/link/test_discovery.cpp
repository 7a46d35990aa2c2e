#include "link/ChoosablePorts.h"
#include "link/SimRegistry.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "support/FakeLink.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace xlt::link;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Ports = std::vector<SimPort>;

/// Lists and searches ports given as "object=port": (the table's entries, the device's port).
static std::pair<Strings, std::uint16_t> discover(const Strings &values)
{
    xlt::test::FakePortSource source;
    for (const std::string &v : values)
        source.records.push_back({v.substr(0, v.find('=')), v.substr(v.find('=') + 1), ""});
    SerialPortTable table;
    std::int16_t count = 42; // a stale count: the listing starts from 0
    ListSerialPorts(source, table, count);
    return {Strings(table.begin(), table.begin() + count), FindXLTPort(source)};
}

TEST(USB_COM, ListingAndSearch)
{
    const std::string U = "\\Device\\USBSER00", C254(254, 'C');
    const std::tuple<Strings, Strings, std::uint16_t> rows[] = {
        {{"\\Device\\Serial0=COM1", U + "0=COM5"}, {"COM1", "COM5 (BV)"}, 5},
        {{U + "0=COM4", U + "1=COM7"}, {"COM4 (BV)", "COM7 (BV)"}, 7}, // the last one wins
        {{"\\Device\\VCP0=COM3"}, {"COM3 (KV4)"}, 0},
        {{"\\Device\\slabser0=COM6"}, {"COM6 (Hopper)"}, 0},
        {{"\\device\\usbser000=COM8"}, {"COM8"}, 0}, // the prefix is case-sensitive
        {{"\\Device\\Serial0=COM9 (bv)"}, {"COM9 (bv)"}, 9},
        {{"\\Device\\USBSERV0=COM129"}, {"COM129 (BV)"}, 129}, // the emulator's port
        {{U + "0=COM255"}, {"COM255 (BV)"}, 255},
        // PortNumber is one byte: an unusable number never replaces a usable one.
        {{U + "0=COM4", U + "1=COM256"}, {"COM4 (BV)", "COM256 (BV)"}, 4},
        {{U + "0=COM3", U + "1=COM0"}, {"COM3 (BV)", "COM0 (BV)"}, 3},
        {{U + "0=COM99999999999999999999"}, {"COM99999999999999999999 (BV)"}, 0},
        // A value too long for its buffer skips that port only; 254 bytes (and the zero) fit.
        {{U + "0=COM4", U + "1=COM5" + std::string(251, ' '), U + std::string(239, '1') + "=COM6",
          "\\Device\\Serial0=COM1", "\\Device\\Serial1=" + C254},
         {"COM4 (BV)", "COM1", C254},
         4},
    };
    for (const auto &[values, entries, found] : rows) {
        SCOPED_TRACE(values.back());
        EXPECT_EQ(discover(values), std::pair(entries, found));
    }
    // The table holds 100 entries, but the search sees every port.
    Strings many;
    for (int i = 1; i <= 150; ++i)
        many.push_back((i == 121 ? U + "0=COM" : "\\Device\\Serial=COM") + std::to_string(i));
    const auto [entries, found] = discover(many);
    EXPECT_EQ(std::tuple(entries.size(), entries.back(), found), std::tuple(100u, "COM100", 121));
}

TEST(SystemPorts, KernelPortsNamedByDriverFamilyOnAFakeSysfs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path root(dir.path().toStdString()), ttys = root / "class" / "tty";
    // tty, its driver ("-": none), its type (for ttyS: 0 means no UART)
    for (const char *row :
         {"ttyS0 serial8250 4", "ttyS1 serial8250 0", "ttyS2 -", "console -", "ttyUSB0 ftdi_sio",
          "ttyUSB1 cp210x", "ttyUSB2 ftdi_sio", "ttyUSB32 ftdi_sio", "ttyACM1 cdc_acm",
          "ttyACM0 cdc_acm", "ttyACM63 cdc_acm", "ttyACM64 cdc_acm", "ttyAMA0 uart-pl011",
          "ttyUSB01 ftdi_sio", "ttyS31 serial8250 4"}) {
        std::string tty, driver, type;
        std::istringstream(row) >> tty >> driver >> type;
        fs::create_directories(ttys / tty / "device");
        if (driver != "-") {
            fs::create_directories(root / "drivers" / driver);
            fs::create_directory_symlink(root / "drivers" / driver,
                                         ttys / tty / "device" / "driver");
        }
        if (!type.empty())
            std::ofstream(ttys / tty / "type") << type << "\n";
    }
    // A serial number is the one of the USB device (the folder with an idVendor) above the
    // tty's device folder: its parent for cdc_acm, its grandparent for a usb-serial port.
    for (const auto &[tty, below] :
         {std::pair("ttyACM0", "1-1:1.0"), std::pair("ttyUSB0", "2-1:1.0/p")}) {
        const fs::path usb = root / "usb" / tty, device = ttys / tty / "device";
        fs::create_directories(usb / below);
        std::ofstream(usb / "idVendor") << "0403\n";
        std::ofstream(usb / "serial") << "SN-" << tty << "\n";
        fs::rename(device / "driver", usb / below / "driver");
        fs::remove(device);
        fs::create_directory_symlink(usb / below, device);
    }
    Strings got;
    for (const PortRecord &r : kernelSerialPorts(ttys.string(), "/dev"))
        got.push_back(r.objectName + " " + r.portName + " " + r.devicePath +
                      (r.serialNumber.empty() ? "" : " " + r.serialNumber));
    EXPECT_EQ(got,
              (Strings{"\\Device\\Serial0 COM1 /dev/ttyS0", "\\Device\\Serial1 COM32 /dev/ttyS31",
                       "\\Device\\VCP0 COM33 /dev/ttyUSB0 SN-ttyUSB0",
                       "\\Device\\slabser0 COM34 /dev/ttyUSB1", "\\Device\\VCP1 COM35 /dev/ttyUSB2",
                       "\\Device\\USBSER000 COM65 /dev/ttyACM0 SN-ttyACM0",
                       "\\Device\\USBSER001 COM66 /dev/ttyACM1",
                       "\\Device\\USBSER002 COM128 /dev/ttyACM63"}));
    const std::string registry = (root / "registry").string();
    LinuxPortSource source(ttys.string(), "/dev", registry);
    EXPECT_EQ(FindXLTPort(source), 128);
    // A real device wins over the emulator; without one, the emulator's port is found.
    auto emulator = SimPortRegistration::create(registry, "/dev/null");
    ASSERT_TRUE(emulator);
    EXPECT_EQ(FindXLTPort(source), 128);
    LinuxPortSource emulatorOnly((root / "no-sysfs").string(), "/dev", registry);
    EXPECT_EQ(FindXLTPort(emulatorOnly), 129);
}

// The emulator registry of virtual ports (two emulators at once: tests/cli/test_devices.sh).
TEST(SimRegistry, LiveStaleBrokenAndFullEntries)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/reg";
    const pid_t dead = ::fork(); // a reaped child: an emulator that has ended
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all);
    const std::string me = std::to_string(::getpid());
    const auto entry = [&](int k, const std::string &line) {
        std::ofstream(dir + "/port-" + std::to_string(k)) << line << "\n";
    };
    entry(0, std::to_string(dead) + "\t/dev/null");
    entry(1, me + "\t/dev/pts/no-such-device"); // device gone, emulator alive
    entry(2, "garbage");
    entry(3, me + "\t/dev/null\nSN-3"); // with its serial number
    entry(200, me + "\t/dev/null");     // beyond the last index
    EXPECT_EQ(readSimPorts(dir), (Ports{{3, "/dev/null", "SN-3"}}));
    // Stale and broken entries are reclaimed; a live emulator's entry never is.
    auto reclaimed = SimPortRegistration::create(dir, "/dev/zero");
    auto next = SimPortRegistration::create(dir, "/dev/zero", nullptr, "given");
    ASSERT_TRUE(reclaimed && next);
    EXPECT_EQ(readSimPorts(dir), (Ports{{0, "/dev/zero", "XLTSIM129"},
                                        {2, "/dev/zero", "given"},
                                        {3, "/dev/null", "SN-3"}}));

    for (int k = 0; k < kMaxSimPorts; ++k)
        entry(k, me + "\t/dev/null");
    EXPECT_FALSE(SimPortRegistration::create(dir, "/dev/zero"));
    EXPECT_EQ(readSimPorts(dir).size(), std::size_t(kMaxSimPorts));
    EXPECT_FALSE(SimPortRegistration::create(dir + "2", "/dev/null\nport-9"));
    EXPECT_FALSE(SimPortRegistration::create(dir + "2", ""));
    EXPECT_FALSE(SimPortRegistration::create(dir + "2", "/dev/null", nullptr, "a\nb"));
    EXPECT_FALSE(SimPortRegistration::create("/proc/no/such/dir", "/dev/null"));
    EXPECT_TRUE(readSimPorts("/proc/no/such/dir").empty());
}

TEST(SimRegistry, OnlyAPrivateDirectoryOfThisUserIsUsed)
{
    QTemporaryDir tmp;
    const fs::path root(tmp.path().toStdString());
    const std::string me = std::to_string(::getpid());
    const bool root_user = ::geteuid() == 0;
    // How the directory is made: its mode, reached through a link, owned by another user; and
    // whether it is used.
    const std::tuple<const char *, int, bool, bool, bool> rows[] = {
        {"0700, mine", 0700, false, false, true},
        {"0755: others can read and enter", 0755, false, false, false},
        {"0770: the group can write", 0770, false, false, false},
        {"a symbolic link to a private directory", 0700, true, false, false},
        {"owned by another user (needs root to set up)", 0700, false, true, !root_user}};
    for (const auto &[name, mode, link, other, used] : rows) {
        SCOPED_TRACE(name);
        const fs::path dir = root / name;
        const fs::path made = link ? root / "target" : dir;
        fs::create_directory(made);
        fs::permissions(made, fs::perms(mode));
        if (link)
            fs::create_directory_symlink(made, dir);
        if (other && root_user) {
            EXPECT_EQ(::chown(made.c_str(), 65534, 65534), 0);
        }
        // A planted entry of a live process on an existing node.
        std::ofstream(dir / "port-0") << me << "\t/dev/null\n";
        std::string why;
        EXPECT_EQ(simRegistryDirTrusted(dir.string(), why), used);
        EXPECT_EQ(readSimPorts(dir.string()).size(), used ? 1u : 0u);
        auto registration = SimPortRegistration::create(dir.string(), "/dev/zero", &why);
        EXPECT_EQ(registration.has_value(), used);
        if (!used) {
            EXPECT_NE(why.find(dir.string()), std::string::npos) << why;
            EXPECT_NE(why.find("remove it, or choose another"), std::string::npos) << why;
        }
    }
    // A missing directory is made private, whatever the umask.
    const mode_t old = ::umask(0);
    EXPECT_TRUE(SimPortRegistration::create((root / "fresh").string(), "/dev/null"));
    ::umask(old);
    EXPECT_EQ(fs::status(root / "fresh").permissions(), fs::perms::owner_all);
}

TEST(USB_COM, DescribePortNamesTheDeviceNode)
{
    xlt::test::FakePortSource source;
    source.records = {{"\\Device\\USBSER000", "COM65", "/dev/ttyACM0"},
                      {"\\Device\\USBSERV0", "COM129", "/tmp/odd\x1b[2Jname"},
                      {"\\Device\\VCP0", "COM33", ""}};
    const std::tuple<std::uint16_t, std::string> rows[] = {{65, "COM65 (/dev/ttyACM0)"},
                                                           {129, "COM129 (/tmp/odd\\x1B[2Jname)"},
                                                           {33, "COM33"},
                                                           {7, "COM7"}};
    for (const auto &[number, text] : rows)
        EXPECT_EQ(describePort(source, number), text);
}

// The main window's device choice: the automatic item, then the family's ports with device node
// and serial number. A choice narrows the search, follows its port across refreshes and stays
// chosen while the port is gone (the search then finds nothing) until it is back.
TEST(DeviceChoice, ItemsStatusAndAChoiceAcrossPlugAndUnplug)
{
    xlt::test::FakePortSource system;
    const PortRecord sim{"\\Device\\USBSERV0", "COM129", "/dev/pts/5", "XLTSIM129"};
    const PortRecord acm{"\\Device\\USBSER000", "COM65", "/dev/ttyACM0"};
    system.records = {sim,
                      {"\\Device\\VCP0", "COM33", "/dev/ttyUSB0", "FT1"},
                      acm,
                      {"\\Device\\USBSER001", "COM256", "/dev/ttyACM1"}};
    ChoosablePorts ports(system);
    DeviceChoice choice(ports);
    const auto labels = [&choice] {
        Strings out;
        for (const DeviceOption &option : choice.options())
            out.push_back(option.label);
        return out;
    };
    const auto state = [&] {
        return std::tuple(FindXLTPort(ports), choice.chosenIndex(), choice.statusText());
    };
    EXPECT_EQ(labels(), (Strings{"Automatic (the last device port)",
                                 "COM129 (/dev/pts/5), serial XLTSIM129", "COM65 (/dev/ttyACM0)"}));
    EXPECT_EQ(state(), std::tuple(65, 0u, "Using COM65 (/dev/ttyACM0): the last device port"));
    choice.choose(1);
    EXPECT_EQ(state(), std::tuple(129, 1u, "Using COM129 (/dev/pts/5), serial XLTSIM129"));
    EXPECT_EQ(ports.ports().size(), 1u);

    system.records.insert(system.records.begin(), {"\\Device\\USBSERV1", "COM130", "/dev/pts/6"});
    EXPECT_TRUE(choice.refresh());
    EXPECT_EQ(state(), std::tuple(129, 2u, "Using COM129 (/dev/pts/5), serial XLTSIM129"));
    EXPECT_FALSE(choice.refresh()); // nothing changed

    system.records.erase(system.records.begin() + 1); // the chosen port goes
    EXPECT_TRUE(choice.refresh());
    EXPECT_EQ(labels().back(), "COM129 (/dev/pts/5), serial XLTSIM129 (not connected)");
    EXPECT_EQ(state(), std::tuple(0, 3u,
                                  "COM129 (/dev/pts/5), serial XLTSIM129 is not connected: the "
                                  "windows find no device until it is back or another is chosen"));
    system.records.push_back(sim); // back, last now
    EXPECT_TRUE(choice.refresh());
    EXPECT_EQ(labels().size(), 4u);
    EXPECT_EQ(state(), std::tuple(129, 3u, "Using COM129 (/dev/pts/5), serial XLTSIM129"));

    choice.choose(0);
    system.records.clear();
    choice.refresh();
    EXPECT_EQ(labels().size(), 1u);
    EXPECT_EQ(state(), std::tuple(0, 0u, kNoDeviceText));
}
