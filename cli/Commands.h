#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace xlt::cli {

using Args = std::vector<std::string>;

/// A file or folder argument: its bytes, as the system takes them, so that a name that is not
/// UTF-8 names the same file.
inline std::filesystem::path pathArgument(const std::string &arg)
{
    return std::filesystem::path(arg);
}

// Each subcommand takes the words after its name, parses them with its CommandLine (which also
// takes --port and --device) and returns the process exit code: 0 success, 1 a failed operation
// (its message is on stderr), 2 bad usage or bad input. main() turns a 1 into 3 when no device
// is found (at the chosen port), so every command reports a missing device the same way.
int runPorts(const Args &args);
int runIdentity(const Args &args);
int runDecode(const Args &args);
int runMonitor(const Args &args);
int runConfig(const Args &args);
int runUpdate(const Args &args);
int runOptions(const Args &args);

} // namespace xlt::cli
