#pragma once

// The Win32 serial line's settings, apart from the link (SerialLink_windows.cpp) so that the
// Windows tests can check them. Windows only.

#include "OpenFailure.h"

#include <cstdint>
#include <windows.h>

namespace xlt::link::win32 {

/// Sets `dcb` (as GetCommState gave it) for the link: `baudRate`, 8 data bits, no parity, one
/// stop bit, binary, no flow control of either kind, DTR and RTS on (as a terminal program
/// leaves them), and a line error that does not stop the reads and writes after it.
void setLineSettings(DCB &dcb, std::uint32_t baudRate);

/// Time-outs under which ReadFile returns at once with the bytes already received, else with
/// the first bytes that come within `readWaitMs`, else with none after it; and WriteFile gives
/// up after `writeMs`. Both are at least 1 ms (0 would mean "wait for ever" or "do not wait").
COMMTIMEOUTS lineTimeouts(std::uint32_t readWaitMs, std::uint32_t writeMs);

/// What CreateFileW's error on a COM port means: access denied (and a sharing violation) is a
/// port that another program holds, since Windows opens a COM port for one program only; a
/// missing device is one that went away; any other error is told in the system's words.
OpenFailureKind openFailureKind(DWORD error);

} // namespace xlt::link::win32
