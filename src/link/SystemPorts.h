#pragma once

#include "PortSource.h"

#include <memory>
#include <string>
#include <vector>

namespace xlt::link {

/// The serial ports of this system: on Linux the kernel's serial devices and the emulator's
/// registered virtual ports; on Windows the registry's SERIALCOMM key.
std::unique_ptr<PortSource> makeSystemPortSource();

/// The kernel's serial devices listed under `ttyClassDir` (normally /sys/class/tty), ordered
/// by port number, with device nodes under `devDir`. Names and numbers:
/// - ttyS<k> is COM(k + 1) for k < 32, skipped when its `type` file reads 0 (no UART);
/// - ttyUSB<k> is COM(33 + k) for k < 32; ttyACM<k> is COM(65 + k) for k < 64;
/// - other devices, higher numbers and ttys without a device/driver link are skipped.
/// The object name tells the driver's family: cdc_acm "\Device\USBSER" + index (three digits),
/// ftdi_sio "\Device\VCP" + index, cp210x "\Device\slabser" + index, any other driver
/// "\Device\Serial" + index; the index counts the family's ports from 0 in this order.
/// The serial number is the `serial` attribute of the USB device the tty belongs to: the
/// nearest folder with an `idVendor` at or above the tty's device folder, at most two levels
/// up (cdc_acm: the interface's parent; usb-serial drivers: the port's interface's parent).
std::vector<PortRecord> kernelSerialPorts(const std::string &ttyClassDir,
                                          const std::string &devDir = "/dev");

/// The emulator's live virtual ports registered in `registryDir` (see SimRegistry.h): entry k
/// is {"\Device\USBSERV" + k, "COM" + (129 + k), its device path, its serial number}.
std::vector<PortRecord> simulatorPorts(const std::string &registryDir);

/// The emulator's ports first, then the kernel's, both read afresh on every call: the device
/// search takes the last port of the device's family, so a real device wins over an emulator.
/// The registry directory is simRegistryDir() at the time of the call unless one is given.
class LinuxPortSource final : public PortSource
{
public:
    explicit LinuxPortSource(std::string ttyClassDir = "/sys/class/tty",
                             std::string devDir = "/dev", std::string registryDir = {});
    std::vector<PortRecord> ports() override;

private:
    std::string m_ttyClassDir;
    std::string m_devDir;
    std::string m_registryDir;
};

} // namespace xlt::link
