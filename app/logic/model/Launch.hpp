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

    bool operator==(const LaunchOptions&) const = default;
};

namespace Launch {
/// Reads the arguments, the program path first. Only the first "--snapshot"
/// counts, and only when an argument follows it.
LaunchOptions parse(const std::vector<std::string>& arguments);
/// Writes "AppleAccentColor" = -1 and "AppleHighlightColor" = the graphite
/// highlight into the defaults file; done at every start, before any window.
void writeDefaults();
}  // namespace Launch
