#ifdef _WIN32

#include "SystemPorts.h"

#include <windows.h>

namespace xlt::link {

namespace {

/// The values of HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM in index order: value name
/// = the driver's device object, value data = the port name.
class RegistryPortSource final : public PortSource
{
public:
    std::vector<PortRecord> ports() override
    {
        std::vector<PortRecord> records;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return records;
        for (DWORD index = 0;; ++index) {
            char name[255];
            BYTE data[256];
            DWORD nameLength = 255;
            DWORD dataLength = 255;
            const LONG result =
                RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr, data, &dataLength);
            if (result == ERROR_MORE_DATA)
                continue; // too long for a port name: skip it, not the ports after it
            if (result != ERROR_SUCCESS)
                break;
            // The data ends in its terminating zero, which the port name leaves out.
            const std::string portName(reinterpret_cast<const char *>(data),
                                       dataLength > 0 ? dataLength - 1 : 0);
            records.push_back({std::string(name, nameLength), portName, "\\\\.\\" + portName});
        }
        RegCloseKey(key);
        return records;
    }
};

} // namespace

std::unique_ptr<PortSource> makeSystemPortSource()
{
    return std::make_unique<RegistryPortSource>();
}

} // namespace xlt::link

#endif
