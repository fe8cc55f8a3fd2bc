// What happens before the first window: the appearance defaults, the
// reading of the command line and whether there is a display to open on.
#pragma once

#include <functional>
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
    /// "--help" or "-h": print the usage and end; wins over a usage error.
    bool help = false;
    /// "--version": print the version and end.
    bool version = false;

    bool operator==(const LaunchOptions&) const = default;
};

namespace Launch {
/// Reads the arguments, the program path first. Only the first "--snapshot"
/// counts; the argument after it is its folder, which must not be empty (and
/// is no switch, even when it reads "--help").
LaunchOptions parse(const std::vector<std::string>& arguments);
/// The usage text, ending in a newline, in the current language.
std::string usage();
/// What `--version` prints: the program and its version, and a newline.
std::string versionLine();
/// An environment variable's value, or none when unset.
using Environment = std::function<std::optional<std::string>(const char*)>;
/// Whether the window has somewhere to open: an X or Wayland display, or a Qt
/// platform chosen (by "-platform" among `arguments` or QT_QPA_PLATFORM) that
/// needs none, such as offscreen. Only X chosen without a display is certain
/// to fail; any other choice is left to Qt.
bool hasDisplay(const std::vector<std::string>& arguments, const Environment& environment);
/// The line that says the window needs a display and what works without one.
std::string noDisplayMessage();
/// Writes "AppleAccentColor" = -1 and "AppleHighlightColor" = the graphite
/// highlight into the defaults file; done at every start, before any window.
void writeDefaults();
}  // namespace Launch
