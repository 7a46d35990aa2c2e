#pragma once

// The user and a device node's permissions, for the message of a port the user may not open.
// One file per system: UserAccess_posix.cpp (the node's group, the user's name, access()) and
// UserAccess_windows.cpp (no groups: a port the user may not open is one held by another
// program there).

#include <string>

namespace xlt::link {

/// The group owning `devicePath`, or empty when it cannot be read (always on Windows).
std::string groupOfNode(const std::string &devicePath);

/// The name of the user running XLT, or empty when it cannot be found.
std::string currentUserName();

/// True when the user may read and write `devicePath`.
bool mayReadWrite(const std::string &devicePath);

} // namespace xlt::link
