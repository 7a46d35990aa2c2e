#include "link/DeviceContext.h"
#include "link/SystemPorts.h"
#include "link/USB_COM.h"
#include "support/FakeLink.h"
#include "support/RecordingNotifier.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace xlt;
using namespace xlt::link;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> listed(PortSource &source)
{
    SerialPortTable table;
    std::int16_t count = 42; // a stale count: the listing starts from 0
    ListSerialPorts(source, table, count);
    return std::vector<std::string>(table.begin(), table.begin() + count);
}

test::FakePortSource sourceOf(std::vector<std::pair<std::string, std::string>> values)
{
    test::FakePortSource source;
    for (auto &[name, port] : values)
        source.records.push_back({name, port, "/dev/null"});
    return source;
}

} // namespace

TEST(USB_COM, ListingAndSearch)
{
    using Values = std::vector<std::pair<std::string, std::string>>;
    struct Row
    {
        const char *name;
        Values values;
        std::vector<std::string> entries;
        std::uint16_t found;
    };
    const Row rows[] = {
        {"serial and USB serial",
         {{"\\Device\\Serial0", "COM1"}, {"\\Device\\USBSER000", "COM5"}},
         {"COM1", "COM5 (BV)"},
         5},
        {"last USB serial wins",
         {{"\\Device\\USBSER000", "COM4"}, {"\\Device\\USBSER001", "COM7"}},
         {"COM4 (BV)", "COM7 (BV)"},
         7},
        {"two digits", {{"\\Device\\USBSER000", "COM12"}}, {"COM12 (BV)"}, 12},
        {"FTDI never chosen", {{"\\Device\\VCP0", "COM3"}}, {"COM3 (KV4)"}, 0},
        {"hopper never chosen", {{"\\Device\\slabser0", "COM6"}}, {"COM6 (Hopper)"}, 0},
        {"prefix is case-sensitive", {{"\\device\\usbser000", "COM8"}}, {"COM8"}, 0},
        {"label test ignores case", {{"\\Device\\Serial0", "COM9 (bv)"}}, {"COM9 (bv)"}, 9},
        {"empty name gives an entry", {{"", "COM2"}}, {"COM2"}, 0},
        {"the emulator's port", {{"\\Device\\USBSERV0", "COM129"}}, {"COM129 (BV)"}, 129},
        {"empty key", {}, {}, 0},
        {"port 255 fits", {{"\\Device\\USBSER000", "COM255"}}, {"COM255 (BV)"}, 255},
        {"port 256 does not fit PortNumber",
         {{"\\Device\\USBSER000", "COM4"}, {"\\Device\\USBSER001", "COM256"}},
         {"COM4 (BV)", "COM256 (BV)"},
         4},
        {"huge number",
         {{"\\Device\\USBSER000", "COM99999999999999999999"}},
         {"COM99999999999999999999 (BV)"},
         0},
        {"no number", {{"\\Device\\USBSER000", "COMX"}}, {"COMX (BV)"}, 0},
        {"COM0 is no port",
         {{"\\Device\\USBSER000", "COM3"}, {"\\Device\\USBSER001", "COM0"}},
         {"COM3 (BV)", "COM0 (BV)"},
         3},
        {"digits then text", {{"\\Device\\USBSER000", "COM7A"}}, {"COM7A (BV)"}, 7},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto source = sourceOf(row.values);
        EXPECT_EQ(listed(source), row.entries);
        EXPECT_EQ(FindXLTPort(source), row.found);
    }
}

TEST(USB_COM, TableHoldsAHundredButTheSearchSeesEveryPort)
{
    test::FakePortSource source;
    for (int i = 1; i <= 150; ++i)
        source.records.push_back(
            {"\\Device\\Serial" + std::to_string(i), "COM" + std::to_string(i), ""});
    source.records[120].objectName = "\\Device\\USBSER000";

    SerialPortTable table;
    std::int16_t count = 0;
    ListSerialPorts(source, table, count);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(table[99], "COM100");
    EXPECT_EQ(FindXLTPort(source), 121);
}

TEST(USB_COM, ValuesTooLongForTheirBuffersAreSkipped)
{
    auto source = sourceOf({{"\\Device\\USBSER000", "COM4"},
                            {"\\Device\\USBSER001", "COM5" + std::string(251, ' ')},
                            {"\\Device\\USBSER" + std::string(241, '1'), "COM6"},
                            {"\\Device\\Serial0", "COM1"}});
    // A 254-byte port name (255 with its terminating zero) still fits.
    source.records.push_back({"\\Device\\Serial1", std::string(254, 'C'), ""});
    const auto entries = listed(source);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], "COM4 (BV)");
    EXPECT_EQ(entries[1], "COM1");
    EXPECT_EQ(FindXLTPort(source), 4);
}

TEST(USB_COM, SearchThroughTheContextSetsUpTheRecord)
{
    test::FakeLink link;
    test::RecordingNotifier notifier;
    test::CountingPump pump;
    auto source = sourceOf({{"\\Device\\USBSER000", "COM12"}});
    DeviceContext context(link, source, notifier, pump);
    EXPECT_EQ(FindXLTPort(context), 12);
    EXPECT_EQ(context.XLTPortNumber, 12);
    EXPECT_EQ(context.CmdPacket.PortNumber, 12);
    EXPECT_EQ(context.CmdPacket.BaudRate, 9600u);
    EXPECT_EQ(context.CmdPacket.Timeout, 3000u);

    // Gone: the number is 0 and the record keeps what it had.
    source.records.clear();
    EXPECT_EQ(FindXLTPort(context), 0);
    EXPECT_EQ(context.XLTPortNumber, 0);
    EXPECT_EQ(context.CmdPacket.PortNumber, 12);
    EXPECT_TRUE(notifier.messages.empty());
}

// A fake /sys/class/tty: each tty a folder, its device/driver a link to a driver folder.
class SysfsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    fs::path root() const { return fs::path(dir.path().toStdString()); }
    fs::path ttyDir() const { return root() / "class" / "tty"; }

    void addTty(const std::string &name, const std::string &driver, const char *type = nullptr)
    {
        const fs::path tty = ttyDir() / name;
        fs::create_directories(tty);
        if (!driver.empty()) {
            fs::create_directories(tty / "device");
            fs::create_directories(root() / "drivers" / driver);
            fs::create_directory_symlink(root() / "drivers" / driver, tty / "device" / "driver");
        }
        if (type)
            std::ofstream(tty / "type") << type << "\n";
    }

    QTemporaryDir dir;
};

TEST_F(SysfsTest, KernelPortsNamedByDriverFamily)
{
    addTty("ttyS0", "serial8250", "4");
    addTty("ttyS1", "serial8250", "0"); // no UART
    addTty("ttyS2", "");                // no device behind it
    addTty("tty0", "");
    addTty("console", "");
    addTty("ttyUSB0", "ftdi_sio");
    addTty("ttyUSB1", "cp210x");
    addTty("ttyUSB2", "ftdi_sio");
    addTty("ttyUSB32", "ftdi_sio"); // beyond the range
    addTty("ttyACM1", "cdc_acm");
    addTty("ttyACM0", "cdc_acm");
    addTty("ttyACM63", "cdc_acm");
    addTty("ttyACM64", "cdc_acm");
    addTty("ttyAMA0", "uart-pl011");
    addTty("ttyUSB01", "ftdi_sio"); // not a kernel name
    addTty("ttyS31", "serial8250", "4");

    const auto records = kernelSerialPorts(ttyDir().string(), "/dev");
    std::vector<std::vector<std::string>> got;
    for (const PortRecord &r : records)
        got.push_back({r.objectName, r.portName, r.devicePath});
    const std::vector<std::vector<std::string>> expected = {
        {"\\Device\\Serial0", "COM1", "/dev/ttyS0"},
        {"\\Device\\Serial1", "COM32", "/dev/ttyS31"},
        {"\\Device\\VCP0", "COM33", "/dev/ttyUSB0"},
        {"\\Device\\slabser0", "COM34", "/dev/ttyUSB1"},
        {"\\Device\\VCP1", "COM35", "/dev/ttyUSB2"},
        {"\\Device\\USBSER000", "COM65", "/dev/ttyACM0"},
        {"\\Device\\USBSER001", "COM66", "/dev/ttyACM1"},
        {"\\Device\\USBSER002", "COM128", "/dev/ttyACM63"},
    };
    EXPECT_EQ(got, expected);

    LinuxPortSource source(ttyDir().string(), "/dev", (root() / "no-registry").string());
    EXPECT_EQ(FindXLTPort(source), 128);
}
