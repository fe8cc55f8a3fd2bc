// The user's saved choices: custom backup folders and backup plans, kept in
// one JSON file that the application and the tool both read and write.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"

/// A folder the user added as a backup destination. Its name is its identity.
struct CustomDestination {
    std::string name;
    /// As stored; expanded with Paths::expand whenever it is used.
    std::string path;

    std::string id() const { return "folder:" + name; }
};

/// A source to back up to a destination, with the outcome of its last real run.
struct BackupPlan {
    std::string id;
    std::string source;
    /// A destination id or a folder path, resolved at each run so a plan
    /// survives its destination being away for a while.
    std::string destinationId;
    std::optional<Date> lastRun;
    /// The last run's BackupStatuses::rawValue, or BackupStatuses::planRunFailed.
    /// Kept as the word: a word this version does not know costs nothing here.
    std::optional<std::string> lastStatus;
    std::optional<std::string> lastSummary;

    BackupPlan() = default;
    /// A new plan with a fresh id and no last run.
    BackupPlan(std::string source, std::string destinationId);

    /// Eight lower-case hexadecimal digits, the first group of a random UUID.
    static std::string newId();
};

struct AppConfig {
    std::vector<CustomDestination> customDestinations;
    std::vector<BackupPlan> plans;
};

void to_json(json& object, const CustomDestination& destination);
void from_json(const json& object, CustomDestination& destination);
void to_json(json& object, const BackupPlan& plan);
void from_json(const json& object, BackupPlan& plan);
void to_json(json& object, const AppConfig& config);
void from_json(const json& object, AppConfig& config);

/// Every access to the file holds this process's lock and an advisory lock on
/// a sibling file, so neither another thread nor the other program (the
/// application or the tool) can slip a write between a read and its write-back.
namespace ConfigStore {

/// "config.json" in the support folder.
std::filesystem::path filePath();

/// A missing, unreadable or undecodable file reads as an empty configuration.
AppConfig load();

/// Whether the file is there but cannot be read or decoded, or lies in a
/// support folder that is not the user's alone, so that `load` gives the
/// empty configuration in its place.
bool unreadable();

/// Why the support folder is neither read nor written (OwnFolders::refusal);
/// none when it is the user's alone.
std::optional<std::string> refusal();

/// The line that tells the user the configuration was ignored: the refusal,
/// or that the file could not be read; none when it was read.
std::optional<std::string> unreadableNotice();

/// Write errors are dropped; the old file then stays as it was.
void save(const AppConfig& config);

/// Reads, changes and writes back under one lock; write errors are dropped.
/// `change` runs under the lock, so it must not call back into the store.
void update(const std::function<void(AppConfig&)>& change);

/// As update, but a failed write throws OstrevaneError (with the refusal line
/// when the support folder is not the user's alone, nothing written), and
/// the configuration as written is returned.
AppConfig updateOrThrow(const std::function<void(AppConfig&)>& change);

/// What the store tells its program. Set once at start by the program;
/// tests change it only through a ScopedHooks.
struct Hooks {
    /// Called, outside the lock, after a file that could not be decoded was
    /// moved aside before being replaced; receives the path it was kept
    /// under. Nothing is called when empty, as by default.
    std::function<void(const std::filesystem::path& keptAs)> setAside;

    static Hooks& active();
};

}  // namespace ConfigStore
