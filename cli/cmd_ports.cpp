// xltctl ports: the serial ports as the device search sees them, and the device's port.
#include "CliContext.h"
#include "Commands.h"
#include "Printable.h"
#include "link/USB_COM.h"

#include <cstdio>

namespace xlt::cli {

namespace {

constexpr char kUsage[] =
    "usage: xltctl ports\n"
    "\n"
    "Lists the serial ports that the device search sees, one per line, each port name with the\n"
    "label of its driver's family (\" (BV)\" for USB serial ports, where the device is looked\n"
    "for), then the port the device is on: \"XLT device: COM<n>\", or \"XLT device: none\".\n"
    "The emulator's virtual ports are listed too (COM129 and up).\n"
    "\n"
    "Exit codes: 0 listed (also when no device was found), 2 bad usage.\n";

} // namespace

int runPorts(const Args &args)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.empty()) {
        std::fprintf(stderr, "xltctl ports: unexpected argument '%s'\n%s", args[0].c_str(), kUsage);
        return 2;
    }
    CliContext cli;
    link::SerialPortTable table;
    std::int16_t count = 0;
    link::ListSerialPorts(*cli.ports, table, count);
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string entry = printable(table[static_cast<std::size_t>(i)]);
        std::fwrite(entry.data(), 1, entry.size(), stdout);
        std::fputc('\n', stdout);
    }
    const std::uint16_t port = link::FindXLTPort(*cli.ports);
    if (port == 0)
        std::fputs("XLT device: none\n", stdout);
    else
        std::printf("XLT device: COM%u\n", unsigned(port));
    return 0;
}

} // namespace xlt::cli
