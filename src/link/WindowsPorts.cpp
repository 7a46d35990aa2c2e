#include "WindowsPorts.h"

#include "SystemPorts.h"

#include <algorithm>
#include <windows.h>

namespace xlt::link {

namespace {

/// Room for the longest name and data that still fit a port (USB_COM skips longer ones), and
/// one more character, so that a longer one is seen as longer.
constexpr DWORD kNameChars = 256;
constexpr DWORD kDataChars = 256;

/// One byte per character (port names and device objects are ASCII); '?' beyond Latin-1.
std::string singleByte(const wchar_t *text, std::size_t length)
{
    std::string out(length, '?');
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] <= 0xFF)
            out[i] = static_cast<char>(text[i]);
    }
    return out;
}

class RegistryPortSource final : public PortSource
{
public:
    std::vector<PortRecord> ports() override { return registrySerialPorts(); }
};

} // namespace

std::vector<PortRecord> registrySerialPorts(const std::string &key)
{
    std::vector<PortRecord> records;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return records;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        wchar_t data[kDataChars];
        DWORD nameLength = kNameChars;
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(handle, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataBytes);
        if (result == ERROR_MORE_DATA)
            continue; // too long for a port: skip it, not the ports after it
        if (result != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        // The registry keeps the data as it was written, with or without its terminating zero:
        // the port name ends at the first zero or at the end of the data.
        const wchar_t *begin = data;
        const wchar_t *end = std::find(begin, begin + dataBytes / sizeof(wchar_t), L'\0');
        const std::string portName = singleByte(begin, static_cast<std::size_t>(end - begin));
        records.push_back({singleByte(name, nameLength), portName, R"(\\.\)" + portName});
    }
    RegCloseKey(handle);
    return records;
}

std::unique_ptr<PortSource> makeSystemPortSource()
{
    return std::make_unique<RegistryPortSource>();
}

} // namespace xlt::link
