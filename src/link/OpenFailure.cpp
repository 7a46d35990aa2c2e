#include "OpenFailure.h"

#include <string>

namespace xlt::link {

namespace {

constexpr char kDefaultGroup[] = "dialout";
constexpr char kModemManager[] = "ModemManager";

std::string portNamed(const OpenFailure &failure)
{
    if (failure.portName.empty())
        return failure.devicePath;
    return failure.portName + " (" + failure.devicePath + ")";
}

std::string busyText(const std::string &start, const std::optional<PortHolder> &holder)
{
    if (!holder) {
        return start + "another program is using it. Close the program that uses the port (a "
                       "terminal program, another XLT, or ModemManager, which tries every new "
                       "serial port for a while after it is plugged in) and try again.";
    }
    const std::string who = holder->program.empty() ? std::string("a program") : holder->program;
    std::string text =
        start + "it is in use by " + who + " (process " + std::to_string(holder->pid) + ").";
    if (holder->program == kModemManager)
        return text + " ModemManager tries every new serial port for a while after it is "
                      "plugged in: wait until it lets go, or stop it (sudo systemctl stop "
                      "ModemManager), and try again.";
    return text + " Close that program and try again.";
}

} // namespace

std::string openFailureText(const OpenFailure &failure, const std::optional<PortHolder> &holder)
{
    const std::string start = "XLT cannot open the port " + portNamed(failure) + ": ";
    switch (failure.kind) {
    case OpenFailureKind::None:
    case OpenFailureKind::NoSuchPort:
    case OpenFailureKind::Vanished:
        return {};
    case OpenFailureKind::PermissionDenied: {
        const std::string group = failure.nodeGroup.empty() || failure.nodeGroup == "root"
                                      ? std::string(kDefaultGroup)
                                      : failure.nodeGroup;
        const std::string user = failure.userName.empty() ? "$USER" : failure.userName;
        return start + "permission denied. Join the group " + group + " (sudo adduser " + user +
               " " + group +
               ", then log out and in again), or install XLT's udev rule "
               "70-xlt.rules (it comes with the package), which gives the logged-in user "
               "access to USB serial ports.";
    }
    case OpenFailureKind::Busy:
        return busyText(start, holder);
    case OpenFailureKind::Other:
        return start +
               (failure.systemText.empty() ? std::string("unknown error") : failure.systemText) +
               ".";
    }
    return {};
}

std::string goneText(const std::string &port)
{
    return "XLT cannot open the port " + port +
           ": the device went away (unplugged or switched off).";
}

std::string windowsOpenFailureText(const OpenFailure &failure)
{
    const std::string port = failure.portName.empty() ? failure.devicePath : failure.portName;
    const std::string start = "XLT cannot open the port " + port + ": ";
    switch (failure.kind) {
    case OpenFailureKind::None:
    case OpenFailureKind::NoSuchPort:
    case OpenFailureKind::Vanished:
        return {};
    case OpenFailureKind::PermissionDenied:
    case OpenFailureKind::Busy:
        return start + "access denied. Another program is probably using the port (a terminal "
                       "program, another XLT); Windows does not tell which program holds a port. "
                       "Close the program that uses the port and try again.";
    case OpenFailureKind::Other:
        return start +
               (failure.systemText.empty() ? std::string("unknown error") : failure.systemText) +
               ".";
    }
    return {};
}

} // namespace xlt::link
