#pragma once

// The system's ports on Windows (makeSystemPortSource() there): the registry's SERIALCOMM key.

#include "PortSource.h"

#include <string>
#include <vector>

namespace xlt::link {

/// The values of HKEY_LOCAL_MACHINE\<key> in index order: value name = the driver's device
/// object ("\Device\USBSER000"), value data = the port name ("COM5"), opened as "\\.\COM5".
/// A value's data is read up to its first zero, so a value stored without its terminating zero
/// keeps its last character. Values that are not REG_SZ and names or data too long for a port
/// are skipped, not the values after them. No key, no ports.
std::vector<PortRecord>
registrySerialPorts(const std::string &key = "HARDWARE\\DEVICEMAP\\SERIALCOMM");

} // namespace xlt::link
