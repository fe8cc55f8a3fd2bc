// Cleanup proposals for the home folder: a fixed table of well-known places,
// rules that read the scanned tree, and a rule for applications nobody opens.
// `analyze` is the one entry point; the pieces below it are public only so
// they can be checked one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "clean/SuggestionTypes.hpp"
#include "config/Destinations.hpp"
#include "scan/FileTree.hpp"
#include "scan/Volumes.hpp"

namespace SuggestionEngine {

/// Builds the report for `scan` (normally the home folder's; none gives the
/// quick report). `now` is the only clock the rules read. Never throws.
SuggestionReport analyze(const ScanResult* scan, const std::vector<BackupDestination>& destinations, Date now);
SuggestionReport analyze(const std::optional<ScanResult>& scan, const std::vector<BackupDestination>& destinations,
                         Date now);

// Shared pieces of the rules

/// Folder names under which applications keep caches of their own.
const std::set<std::string>& embeddedCacheNames();
/// Folder names of dependencies and build output inside projects.
const std::set<std::string>& artifactNames();
/// Lower-cased extensions of installer images.
const std::set<std::string>& installerExtensions();

// Rules reading the scanned home folder

std::vector<Suggestion> embeddedCaches(const FileNode& home, const std::string& homePath);
/// `archives`: folders whose contents are never listed (the destinations' backups).
std::vector<Suggestion> staleArtifacts(const FileNode& home, const std::string& homePath, Date now,
                                       const std::vector<std::string>& archives = {});
std::vector<Suggestion> downloads(const FileNode& home, const std::string& homePath, Date now);
std::vector<Suggestion> coldFolders(const FileNode& home, const std::string& homePath,
                                    const std::vector<BackupDestination>& destinations, Date now);
std::vector<Suggestion> icloudLocalCopies(const FileNode& home, const std::string& homePath);
/// `archives` as for staleArtifacts.
std::vector<Suggestion> largeFiles(const FileNode& home, const std::string& homePath,
                                   const std::vector<BackupDestination>& destinations, Date now,
                                   const std::vector<std::string>& archives = {});

/// Reads the application folders, not the scan, so it runs in both modes.
std::optional<Suggestion> unusedApps(Date now);

// Texts and names the rules share

/// Whole days from `date` to `now`, truncated toward zero (negative for a future date).
int64_t idleDays(Date date, Date now);
/// "Modified today" or how many days ago a file last changed.
std::string idleLabel(Date date, Date now);
/// The id suffix of a cold folder: letters and digits of any script, every
/// other run of characters one "-", lower-cased.
std::string slug(const std::string& path, const std::string& home);
/// The backups folder inside each destination that has a folder.
std::vector<std::string> archivesOf(const std::vector<BackupDestination>& destinations);
/// Whether `path` is one of `folders` or lies inside one.
bool insideAny(const std::string& path, const std::vector<std::string>& folders);
/// The command line that archives a folder to the first available destination.
std::optional<std::string> offloadCommand(const std::string& path, const std::vector<BackupDestination>& destinations);
/// Notes about the startup volume: almost full, and space the system can purge.
std::vector<std::string> volumeNotes(const std::optional<VolumeInfo>& root);

}  // namespace SuggestionEngine
