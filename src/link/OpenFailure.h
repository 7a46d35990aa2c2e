#pragma once

// Why a serial port did not open, and the message that tells the user why and what to do.
// Window-free: the serial link records the reason of its last failed open, the windows and
// xltctl show the text.

#include "UserAccess.h"

#include <optional>
#include <string>
#include <vector>

namespace xlt::link {

enum class OpenFailureKind {
    None,             ///< the last open succeeded, or none was tried
    NoSuchPort,       ///< the port number names no port of the list (the device went away)
    PermissionDenied, ///< the user may not open the device node
    Busy,             ///< another program holds the port
    Vanished,         ///< the device node is gone (unplugged)
    Other,            ///< any other refusal of the system; systemText says which
};

struct OpenFailure
{
    OpenFailureKind kind = OpenFailureKind::None;
    std::string devicePath; ///< the node that was opened, such as /dev/ttyACM0
    std::string portName;   ///< the port's name in XLT, such as COM65
    std::string systemText; ///< the system's own words for the error
    std::string nodeGroup;  ///< the group that owns the device node, such as dialout
    std::string userName;   ///< the user running XLT
};

/// A program that holds a serial port.
struct PortHolder
{
    long pid = 0;
    std::string program; ///< its command name (/proc/<pid>/comm); empty when unknown
};

/// Where findPortHolder() looks. The defaults are the running system's.
struct HolderSearch
{
    std::string procDir = "/proc";
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};
    long ownPid = 0; ///< a process to pass over in the /proc scan (normally this one)
};

/// The serial lock file's name for a device node: "LCK.." and the path below /dev with every
/// "/" made "_" ("/dev/ttyACM0" gives "LCK..ttyACM0", "/dev/pts/3" gives "LCK..pts_3").
std::string lockFileName(const std::string &devicePath);

// The holder search is one file per system: PortHolder_posix.cpp (lock files, /proc) and
// PortHolder_windows.cpp (nothing found: Windows does not tell).

/// Who holds `devicePath`: first the process named in its lock file (when that process is
/// alive), otherwise the first process, other than `ownPid`, with an open descriptor on the
/// node. Processes whose descriptors cannot be read (other users', unless root) are passed
/// over, so nothing may be found although somebody holds the port.
std::optional<PortHolder> findPortHolder(const std::string &devicePath,
                                         const HolderSearch &search = {});

/// The message for a failed open, or an empty text when the failure is to stay silent (none,
/// no such port, a vanished device). `holder` is the program holding a busy port, if known.
std::string openFailureText(const OpenFailure &failure, const std::optional<PortHolder> &holder);

/// The message for an open that failed because the device went away (its port is no longer
/// listed, or its node is gone), which openFailureText() leaves silent: for xltctl, which
/// gives the reason of every failure. `port` names it as describePort() does.
std::string goneText(const std::string &port);

/// The same message in its Windows form: a port held by another program and a port the user
/// may not open are one refusal there (access denied), and Windows does not tell which program
/// holds a port, so the message says so instead of naming it.
std::string windowsOpenFailureText(const OpenFailure &failure);

/// This process's id, which the holder search passes over.
long currentProcessId();

} // namespace xlt::link
