#pragma once

#include <string>
#include <vector>

namespace xlt::link {

/// One serial port as the system lists it: the name of the driver's device object (for
/// example "\Device\USBSER000") and the port name (for example "COM5"), both single-byte texts.
/// devicePath is where the link opens it ("\\.\COM5", "/dev/ttyACM0", "/dev/pts/3");
/// serialNumber is the USB serial number of the port's device, empty where the system has none.
struct PortRecord
{
    std::string objectName;
    std::string portName;
    std::string devicePath;
    std::string serialNumber{};
};

/// A source of the system's serial ports in a stable order. Nothing is cached: each call
/// enumerates afresh, so a device plugged in later is found by the next call.
class PortSource
{
public:
    virtual ~PortSource() = default;
    virtual std::vector<PortRecord> ports() = 0;
};

} // namespace xlt::link
