#pragma once

// xltctl monitor's Ctrl-C. One file per system: Interrupts_posix.cpp (SIGINT and SIGTERM) and
// Interrupts_windows.cpp (the console's Ctrl-C, Ctrl-Break and close).

namespace xlt::cli {

/// From now on, Ctrl-C (and the system's other requests to stop) asks the run to stop; a
/// second one ends the process at once, for a device stuck in a time-out.
void catchInterrupts();

/// True once an interrupt has come.
bool interrupted();

} // namespace xlt::cli
