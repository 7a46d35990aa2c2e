#pragma once

// Fleet work: one command for every attached device. Each device gets a run of this very
// program of its own, `xltctl --device NODE <command> ...`, all at the same time: the devices
// are independent lines, so eight updates take about as long as one, and one device that fails
// or hangs leaves the others' runs alone. The parent collects what each run printed and
// reports per device.

#include "Commands.h"
#include "link/PortSource.h"

#include <QJsonObject>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace xlt::cli {

/// The ports where the device search would look (those FindXLTPort could choose), in the
/// source's order.
std::vector<link::PortRecord> devicePorts(link::PortSource &source);

/// The listed port with this COM number, if the source lists it.
std::optional<link::PortRecord> portRecord(link::PortSource &source, std::uint16_t portNumber);

/// The port, device node and USB serial number of a report: "port", "device", "serial" (null
/// where there is none).
QJsonObject portFields(const link::PortRecord &record);

/// One device's run of the program.
struct ChildRun
{
    link::PortRecord port;
    int exitCode = -1;   ///< -1: it did not start, crashed or was killed
    std::string out;     ///< its standard output, whole
    std::string message; ///< its last line on standard error that says why, "xltctl" and its
                         ///< command's name removed ("block 3 of 300 ... not accepted")
    std::chrono::milliseconds time{};
};

/// Runs `xltctl --device <node> <words(i)>` for every port i at the same time, with no
/// standard input, and returns when every run has ended. `line(i, text)` gets each line that
/// run i writes on standard error, as it comes (on the caller's thread).
std::vector<ChildRun> runForEach(const std::vector<link::PortRecord> &ports,
                                 const std::function<Args(std::size_t)> &words,
                                 const std::function<void(std::size_t, const std::string &)> &line);

/// One device of a fleet report.
struct FleetEntry
{
    link::PortRecord port;
    bool ok = false;
    std::string result;  ///< "ok", "updated", "failed", ... as the command words it
    std::string detail;  ///< what the text report shows after the port: identities, a file
    std::string message; ///< why it failed, empty on success
    QJsonObject fields;  ///< the command's own fields of the JSON report
    std::chrono::milliseconds time{};
};

/// The entry of a run: its port and time; ok with `success` as its result when it exited 0,
/// otherwise "failed" ("no device" for exit code 3, "crashed" when it did not exit) with its
/// message.
FleetEntry entryOf(const ChildRun &run, const char *success);

/// A run's standard output as a JSON object; empty when it is not one.
QJsonObject jsonObjectOf(const std::string &out);

/// Prints the report, one line per device and a summary line, or (json) an array of objects
/// with the port's fields, the entry's fields, "result", "message" (null on success) and
/// "seconds". Returns the exit code: 0 when every device succeeded, 1 otherwise.
int printFleetReport(const std::vector<FleetEntry> &entries, bool json);

/// The device choice of a fleet command: refuses --port/--device with --all (exit 2, on
/// stderr) and finds the devices. Nothing when the command ends there: `exitCode` holds 2, or
/// 3 after "No XLT device detected".
std::optional<std::vector<link::PortRecord>> fleetPorts(const char *command, int &exitCode);

} // namespace xlt::cli
