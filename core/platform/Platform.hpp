// The Linux side of the services the engine was designed around. Values the
// engine decides once per process from the environment are kept together, so
// a test can have them decided afresh.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Language.hpp"

namespace Platform {
/// The values decided once per process from the environment: the home folder
/// (Paths::home) and the language (Langs::current). A test that changes the
/// environment holds a `ScopedHooks<Platform::Hooks>` of `decidedOnce()`, so
/// one test binary can try several homes and languages: both are decided
/// afresh on first use, and those in force before come back when it goes.
struct Hooks {
    std::function<std::string()> home;
    std::function<Lang()> language;

    /// Each value decided on its first use and kept for the life of the set.
    static Hooks decidedOnce();
    static Hooks& active();
};

/// An environment variable's value, or none when unset.
std::optional<std::string> environment(const char* name);
/// $HOME when set and non-empty, else the password database (which a
/// redirected system does not have: its root then).
std::string realHome();
/// The real user's data folder, whatever home the engine was given: for what
/// lives outside that home, like the desktop's own Trash. $XDG_DATA_HOME when
/// it is an absolute path (a relative value is invalid and ignored), else
/// <real home>/.local/share.
std::string realDataHome();

/// Where the machine's own file or folder `path` ("/proc/self/mountinfo",
/// "/etc/fstab", "/sys") is read. OSTREVANE_SYSTEM_ROOT, when set, names a
/// folder that stands for "/" there: the test suites set it for themselves and
/// for the programs they start, so the mount table, fstab, sysfs, the disk
/// labels, the machine's name, the volume folders and the password database are
/// a scratch machine's. Without it the path is the real one.
std::string systemPath(const std::string& path);
/// Whether OSTREVANE_SYSTEM_ROOT redirects the system's tables. Programs that
/// act on the real machine whatever the engine was shown are then not run.
bool systemIsRedirected();
/// From now on, reading the real machine (a system path with no
/// OSTREVANE_SYSTEM_ROOT set) aborts the process with a message naming what
/// was read. The test suites' main calls it, so a test that unseals itself
/// fails loudly rather than reading or changing the machine it runs on.
void refuseTheRealMachine();
/// The user's preferred languages in BCP-47-like form ("zh-CN"), from
/// LANGUAGE, then the first of LC_ALL, LC_MESSAGES, LANG.
std::vector<std::string> preferredLanguages();
/// The user's login shell from the password database, if any (none on a
/// redirected system).
std::optional<std::string> loginShell();
}  // namespace Platform

/// The application's persistent settings, shared by the application and the
/// tool: one JSON object in the real home's configuration folder. Like the
/// engine's stored files, it is read and replaced under a lock on a sibling
/// file, written atomically, and kept aside rather than written over when it
/// cannot be read.
namespace UserDefaults {
std::string filePath();
/// The stored value. A missing, unreadable, malformed or too large file
/// (InputLimits::storedFileBytes) holds no values. The file is read again
/// only when its status (inode, size, times) has changed since the last read.
std::optional<nlohmann::json> value(const std::string& key);
/// Both throw OstrevaneError when the file cannot be written (a full disk, a
/// folder in its place), leaving the old file as it was.
void set(const std::string& key, const nlohmann::json& value);
void remove(const std::string& key);
/// Where this process kept aside a file it could not read before writing a
/// new one; none when it has not.
std::optional<std::string> keptAside();
}  // namespace UserDefaults
