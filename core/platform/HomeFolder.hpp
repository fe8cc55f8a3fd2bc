// The home folder the engine works in, and what is worked out from it: "~"
// in paths, the XDG base folders, the support and cache folders.
#pragma once

#include <filesystem>
#include <string>

namespace Paths {
/// The home folder the whole engine works in: OSTREVANE_HOME when set,
/// otherwise the user's own home. Fixed at first use.
std::string home();
/// Whether OSTREVANE_HOME moves the home folder (set and not empty).
bool homeIsOverridden();
/// Absolute and standardised, "~" expanded; never fails. Blanks around the
/// path are dropped unless the path exactly as given names something.
std::string expand(const std::string& path);
std::string abbreviate(const std::string& path);
/// The support folder (configuration, backup history): $XDG_CONFIG_HOME/Ostrevane,
/// by default <home>/.config/Ostrevane, and always that with OSTREVANE_HOME set.
/// Created (0700) on every access; a failure to create is left to the caller's next step.
std::filesystem::path supportDir();
/// Where supportDir() is, without creating it: for reading, which must leave
/// a home that holds nothing yet as it is.
std::filesystem::path supportFolder();
/// The cache folder (scan files): $XDG_CACHE_HOME/Ostrevane, by default
/// <home>/.cache/Ostrevane, and always that with OSTREVANE_HOME set. Created
/// on every access like supportDir().
std::filesystem::path cacheDir();
/// Where cacheDir() is, without creating it, for reading.
std::filesystem::path cacheFolder();
/// Makes `path` and every missing folder above it 0700, whatever the umask:
/// what the tool makes for itself is the user's alone. A failure is left to
/// the caller's next step.
void makePrivateFolders(const std::string& path);
/// The tool's own folder `path` (one named Ostrevane, or a folder inside one,
/// that the user owns), made 0700 when it is looser, as a umask of 002 left
/// it, unless it carries an ACL. Any other folder is never changed: the tool
/// did not make it.
void tightenOwnFolder(const std::string& path);
/// An XDG base folder: with OSTREVANE_HOME set, `relativeDefault` below that
/// home; else the variable when it holds an absolute path, else the default.
std::string baseFolder(const char* variable, const std::string& relativeDefault);
}  // namespace Paths

namespace Paths::detail {
/// The home folder as the environment names it now; Paths::home keeps the first answer.
std::string decideHome();
}  // namespace Paths::detail
