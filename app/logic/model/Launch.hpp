// What happens before the first window: the appearance defaults and the
// reading of the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct LaunchOptions {
    /// The folder after the first "--snapshot"; none runs the application.
    std::optional<std::string> snapshotFolder;
    /// "--demo" anywhere among the arguments.
    bool demo = false;
    /// Why the arguments cannot be used ("--snapshot" without a folder, or
    /// with an empty one); the process then ends with status 2.
    std::optional<std::string> usageError;

    bool operator==(const LaunchOptions&) const = default;
};

namespace Launch {
/// Reads the arguments, the program path first. Only the first "--snapshot"
/// counts; the argument after it is its folder, which must not be empty.
LaunchOptions parse(const std::vector<std::string>& arguments);
/// Writes "AppleAccentColor" = -1 and "AppleHighlightColor" = the graphite
/// highlight into the defaults file; done at every start, before any window.
void writeDefaults();
}  // namespace Launch
