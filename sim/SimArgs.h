#pragma once

#include "DeviceModel.h"

#include <string>
#include <vector>

namespace xlt::sim {

/// xlt-sim's command line, parsed.
struct SimArgs
{
    DeviceOptions device;    ///< statePath already defaulted (empty with --no-state)
    std::string registryDir; ///< where the port is registered
    std::string serial;      ///< the port's USB serial number; empty: the registry's default
    bool help = false;
    bool version = false;
};

/// Parses the arguments after the program name with QCommandLineParser (no application object
/// needed): --name VALUE or --name=VALUE, options in any order, a later one overriding an
/// earlier one. Defaults: the state file of defaultStatePath(), the registry directory of
/// link::simRegistryDir(). False with a one-line `error` on an unknown option, a missing or
/// unexpected value, a value out of range or an argument that is no option.
bool parseSimArgs(const std::vector<std::string> &args, SimArgs &out, std::string &error);

/// The text of `xlt-sim --help`.
std::string simUsage();

} // namespace xlt::sim
