// Running outside programs: started straight, never through a shell, and
// never waited on past their deadline. Finding a program by name, which looks
// at the user's environment and login shell, is in platform/ProgramSearch.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Shell {
/// `stdout` and `stderr` are macros in C++, hence the longer field names.
struct Output {
    int32_t status = 0;
    std::string stdoutText;
    std::string stderrText;
};
/// Runs a program with no shell in between. Never throws and never outlives
/// timeout + 2 seconds: at the deadline the child's process group is asked to
/// terminate, and killed after a short grace.
Output run(const std::string& executable, const std::vector<std::string>& arguments, double timeout);
/// As run, with the child's "NAME=value" entries in place of our environment.
Output runWithEnvironment(const std::string& executable, const std::vector<std::string>& arguments, double timeout,
                          const std::vector<std::string>& environment);

struct Started {
    int pid = -1;
    /// The errno of a start that failed, else 0.
    int error = 0;
};
/// Starts a program in a process group of its own (so a caller can end it
/// together with anything it starts), standard input from the null device,
/// standard output and error onto the given descriptors (-1: the null device),
/// and SIGPIPE at its default.
Started start(const std::string& executable, const std::vector<std::string>& arguments, int outputFd, int errorFd);
/// Where a started program's standard streams, environment and working folder come from.
struct StartOptions {
    /// Descriptors for standard input, output and error; -1: the null device.
    int inputFd = -1;
    int outputFd = -1;
    int errorFd = -1;
    /// "NAME=value" entries in place of ours, when given.
    std::optional<std::vector<std::string>> environment;
    /// Ours when empty.
    std::string workingFolder;
};
/// As above, with every stream, the environment and the working folder chosen.
Started start(const std::string& executable, const std::vector<std::string>& arguments, const StartOptions& options);

/// Runs a program that hands something to the desktop (`xdg-open <folder>`)
/// and may itself become the window that shows it: its streams go to the null
/// device; its status when it ends within `timeout` seconds, else 0 (it is
/// showing what it was given) and it is left running, never killed, and
/// reaped by a later call once it ends. -1 when it cannot start.
Output hand(const std::string& executable, const std::vector<std::string>& arguments, double timeout);
}  // namespace Shell
