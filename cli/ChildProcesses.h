#pragma once

// The runs of this very program that fleet work starts, one file per system:
// ChildProcesses_posix.cpp (posix_spawn, pipes and poll) and ChildProcesses_windows.cpp
// (CreateProcessW, pipes and a reader thread per pipe).

#include "Commands.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xlt::cli {

/// What a run that could not be started gives as its exit code.
inline constexpr int kNotStarted = -2;

/// Starts this program once per entry of `argvs` (each entry is a whole argv, its first word
/// the program's name), all at once, with an empty standard input. `output(i, stream, bytes)`
/// gets what run i writes on its standard output (stream 0) or error (stream 1) as it comes,
/// and `ended(i)` is called once both have closed; both on the caller's thread. Returns each
/// run's exit code once every run has ended: -1 when it crashed or was killed, kNotStarted
/// when it could not be started.
std::vector<int> runChildren(const std::vector<Args> &argvs,
                             const std::function<void(std::size_t, int, std::string_view)> &output,
                             const std::function<void(std::size_t)> &ended);

/// The command line that gives a Windows program exactly `argv` as its arguments, by the rules
/// of CommandLineToArgvW and the C runtime: a word with a blank, a tab or a quote, or an empty
/// one, is quoted; a quote inside is escaped, and so are the backslashes before a quote.
inline std::string windowsCommandLine(const Args &argv)
{
    std::string line;
    for (const std::string &word : argv) {
        if (!line.empty())
            line += ' ';
        if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += word;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : word) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote gets one of its own.
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        // Before the closing quote, too.
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

} // namespace xlt::cli
