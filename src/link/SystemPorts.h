#pragma once

#include "PortSource.h"

#include <memory>

namespace xlt::link {

/// The serial ports of this system: on Linux the kernel's serial devices and the emulator's
/// registered virtual ports; on Windows the registry's SERIALCOMM key.
std::unique_ptr<PortSource> makeSystemPortSource();

} // namespace xlt::link
