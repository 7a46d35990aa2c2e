// xltctl identity: finds the device and prints the identity text of its command 16.
#include "CliContext.h"
#include "Commands.h"
#include "Printable.h"
#include "link/USB_COM.h"
#include "link/XLT_protocol.h"

#include <cstdio>

namespace xlt::cli {

namespace {

constexpr char kUsage[] =
    "usage: xltctl identity\n"
    "\n"
    "Finds the device, reads its identity text and prints it on one line, as the device sends\n"
    "it: interface (characters 0-3, such as PR01), firmware version (5-8) and modification\n"
    "number (9-12). Control bytes in it are printed as \\xNN.\n"
    "\n"
    "Exit codes: 0 printed, 1 no device, the port did not open or the exchange failed (the\n"
    "reason is on stderr), 2 bad usage.\n";

} // namespace

int runIdentity(const Args &args)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.empty()) {
        std::fprintf(stderr, "xltctl identity: unexpected argument '%s'\n%s", args[0].c_str(),
                     kUsage);
        return 2;
    }
    CliContext cli;
    link::DeviceContext &device = *cli.device;
    if (link::FindXLTPort(device) == 0) {
        std::fputs("No XLT device detected\n", stderr);
        return 1;
    }
    // ReadXLTVersion's steps, except that a port that does not open is reported here.
    link::XLTPacket &packet = device.CmdPacket;
    if (link::OpenXLTComPort(device, packet) == 0) {
        std::fprintf(stderr, "xltctl identity: cannot open COM%u\n",
                     unsigned(device.XLTPortNumber));
        return 1;
    }
    packet.CommandLength = 1;
    packet.CommandData[0] = link::kCmdReadVersion;
    if (!link::RunXLTCommand(device, packet))
        return 1; // the reason is on stderr and the port closed
    link::CloseXLTComPort(device);
    // The device's bytes, escaped: a terminal obeys escape sequences in them.
    const std::string text = printable(link::replyText(device.CmdPacket));
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

} // namespace xlt::cli
