// Backups: an incremental copy of a file or folder into a destination folder
// or an rclone remote, the history of real runs, the offload (back up, verify,
// then move the source to the Trash) and the release of iCloud local copies.
//
// The one promise everything here keeps: no file is ever lost. At the
// destination nothing is removed except the older copy of a file that a new,
// complete copy replaces in one rename; at the source nothing is touched until
// a complete backup has been checked.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Support.hpp"
#include "base/ScopedHooks.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"

/// How a backup runs.
struct BackupOptions {
    /// Count what would be copied without writing anything.
    bool dryRun = false;
    /// Last path components, matched exactly, that the backup passes over.
    std::vector<std::string> excludes;
    /// Files, by device and inode, copied even when their copy looks up to
    /// date: those whose copy an offload's check found different.
    std::set<std::pair<uint64_t, uint64_t>> copyAgain;

    BackupOptions();
    BackupOptions(bool dryRun, std::vector<std::string> excludes);

    static const std::vector<std::string> defaultExcludes;
    /// An offload copies development folders too: its source goes to the Trash afterwards.
    static const std::vector<std::string> offloadExcludes;
};

/// Local copies count files and links met, and the lengths of the files met
/// (each hard link again), the measure of the report's bytes copied.
struct BackupProgress {
    int64_t filesDone = 0;
    int64_t filesTotal = 0;
    int64_t bytesDone = 0;
    int64_t bytesTotal = 0;
    std::string currentPath;

    double fraction() const;
};
using BackupProgressHandler = std::function<void(const BackupProgress&)>;

/// How a run ended.
enum class BackupStatus { ok, completedWithErrors, cancelled };

namespace BackupStatuses {
/// The word that stands for a status in reports, the history and a plan's
/// last status: "ok", "completed_with_errors" or "cancelled".
std::string rawValue(BackupStatus status);
std::optional<BackupStatus> fromRaw(std::string_view raw);
/// A cancelled run ends cancelled whatever failed before; otherwise one
/// failure is enough for "completed_with_errors".
BackupStatus of(bool cancelled, int64_t failed);
/// A plan's last status when its run could not start or threw.
inline const std::string planRunFailed = "failed";
}  // namespace BackupStatuses

void to_json(json& value, const BackupStatus& status);
/// Throws std::invalid_argument for a word that is not a status.
void from_json(const json& value, BackupStatus& status);

/// The result of one backup run, and one entry of the history file.
struct BackupReport {
    /// How many failure messages a report keeps.
    static constexpr size_t errorLimit = 20;

    std::string id;
    std::string source;
    std::string destinationId;
    std::string destinationName;
    std::string target;
    Date startedAt;
    Date finishedAt;
    bool dryRun = false;
    BackupStatus status = BackupStatus::ok;
    int64_t filesTotal = 0;
    int64_t filesCopied = 0;
    int64_t filesSkipped = 0;
    int64_t filesFailed = 0;
    int64_t bytesCopied = 0;
    std::string copied;
    /// The first `errorLimit` failure messages.
    std::vector<std::string> errors;
    /// The sources of the files that were left out because their place at
    /// the destination holds what an offload archived there, each in display
    /// form; absent when there were none. They make the run fail in part.
    std::optional<std::vector<std::string>> conflicts;
    /// The summary as written, in the language of the run; shown only where
    /// the counts cannot render it (see summaryText).
    std::string summary;
    /// Where this run's history write kept an undecodable history file; not
    /// part of the stored record.
    std::optional<std::string> historyKeptAs;
    /// Why this run's report could not be written to the history; not part
    /// of the stored record either.
    std::optional<std::string> historyFailure;
};

/// The one-line summary of a run in the current language, rendered from its
/// counts and status, so a history written in one language reads in another.
/// A stored summary that is not the text of those counts (an older entry, a
/// hand-written one) is given as written; an empty one is rendered.
std::string summaryText(const BackupReport& report);
/// The notice that the run's history write found the history file
/// undecodable and kept it aside, or could not write the run's report;
/// none when it did neither.
std::optional<std::string> historyNotice(const BackupReport& report);

struct OffloadReport {
    BackupReport backup;
    bool verified = false;
    bool sourceTrashed = false;
    bool dryRun = false;
    int64_t bytes = 0;
    std::string message;
};

struct EvictReport {
    std::string path;
    int64_t evicted = 0;
    int64_t failed = 0;
    int64_t freedBytes = 0;
    std::string message;
};

/// Every key is written and every key is required when reading.
void to_json(json& object, const BackupReport& report);
void from_json(const json& object, BackupReport& report);
void to_json(json& object, const OffloadReport& report);
void from_json(const json& object, OffloadReport& report);
void to_json(json& object, const EvictReport& report);
void from_json(const json& object, EvictReport& report);

/// "backup-history.json" in the support folder: the newest 200 reports, newest first.
namespace BackupHistory {
inline constexpr size_t capacity = 200;
std::filesystem::path filePath();

struct Reading {
    std::vector<BackupReport> reports;
    /// The file is there but cannot be read or decoded; `reports` is then empty.
    bool unreadable = false;
};
/// The history and whether its file could be read.
Reading read();
/// A missing, unreadable or undecodable file reads as an empty history.
std::vector<BackupReport> load();
/// What adding a report to the history came to.
struct Appended {
    /// Where an undecodable history file was kept.
    std::optional<std::filesystem::path> keptAs;
    /// Why the report was not written (a full disk, say).
    std::optional<std::string> failure;
};
/// Never throws. A file that cannot be decoded is kept beside the new one
/// rather than overwritten, and where it went comes back; a failed write
/// leaves the old file as it was and says why. Temporary files of writers
/// that were killed are removed on the way.
Appended append(const BackupReport& report);
/// Appends the report and notes in it what the history write came to, for
/// historyNotice.
void record(BackupReport& report);
/// The text saying the history file cannot be read and was ignored.
std::string unreadableNotice();
}  // namespace BackupHistory

namespace BackupEngine {

/// "Ostrevane Backups/<computer>/Home", ".../<path below home>" or ".../_root/<absolute path>".
std::string relativeTarget(const std::string& path);
/// Where a backup of `source` lands, for display; checks nothing.
std::string targetDescription(const std::string& source, const BackupDestination& destination);

/// Copies `source` incrementally into the destination and records the run in
/// the history unless it was a dry run. Throws OstrevaneError when the request
/// cannot start (missing source, unavailable destination, a loop, no rclone);
/// failures of single entries are counted in the report instead.
BackupReport run(const std::string& source, const BackupDestination& destination,
                 const BackupOptions& options = BackupOptions(), const CancelTokenPtr& cancel = nullptr,
                 const BackupProgressHandler& progress = nullptr);

/// Backs the source up with the offload excludes, verifies the copy and only
/// then moves the source to the Trash.
OffloadReport offload(const std::string& source, const BackupDestination& destination, bool dryRun,
                      const CancelTokenPtr& cancel = nullptr, const BackupProgressHandler& progress = nullptr);

/// Every regular file of the source (but the offload excludes) exists at the
/// target with the same size, and every entry of the source could be read.
bool verifyLocal(const std::string& source, const std::string& target);
/// The same one-way size check, by `rclone check`, and every folder of the
/// source listed at the target.
bool verifyRclone(const std::string& source, const std::string& target);

/// Releases the local copies of uploaded iCloud Drive files under `path`.
EvictReport evict(const std::string& path);

}  // namespace BackupEngine

/// The outcome of running one backup plan.
struct PlanRun {
    /// The plan as it was passed in, not the updated copy written back.
    BackupPlan plan;
    std::optional<BackupReport> report;
    /// Why the destination lookup or the backup failed; `report` is then absent.
    std::optional<std::string> error;
};
void to_json(json& object, const PlanRun& run);

namespace PlanRuns {
/// How a run turns the plan's destination id into a destination; throws
/// OstrevaneError when it cannot be used.
using DestinationResolver = std::function<BackupDestination(const std::string& query)>;
/// Resolves the plan's destination afresh with `resolve`, backs it up with
/// the default excludes and, unless it is a dry run, records the outcome in
/// the plan. A source that leads elsewhere than it did when the plan was
/// added fails the run before anything is copied. Never throws: failures
/// come back in the record.
PlanRun run(const BackupPlan& plan, bool dryRun, const DestinationResolver& resolve,
            const CancelTokenPtr& cancel = nullptr, const BackupProgressHandler& progress = nullptr);
}  // namespace PlanRuns

namespace Backup {

/// Faults the tests cannot produce on this machine (running as root, every
/// file is readable), replaced in tests through ScopedHooks<Backup::Hooks>.
/// By default there are none.
struct Hooks {
    /// Reading a source entry's attributes: an errno value to fail with, or 0.
    std::function<int(const std::string& sourcePath)> readAttributes;
    /// Copying a source file's contents, called between chunks with the
    /// bytes written so far: an errno value to fail with, or 0.
    std::function<int(const std::string& sourcePath, int64_t bytesWritten)> copyContents;
    /// Called by an offload between its check and its move to the Trash, where
    /// another program's write would race it.
    std::function<void()> afterCheck;
    /// Reading the status an offload stamps a source entry with, given as the
    /// file system reported it, to change: the coarse clock of older kernels,
    /// whose stamps a rewrite soon after the last one leaves as they were.
    std::function<void(struct stat& status)> readStamp;
    /// How far a file's change time may lag behind the write that set it.
    std::function<std::chrono::nanoseconds()> stampStep;
    /// Opening a local destination's folder by its path, which a run does
    /// once (an offload once for all its steps): a descriptor, or -1 with errno set.
    std::function<int(const std::string& path)> openDestination;
    /// Flushing an offload's copies at `target` to the destination's disk:
    /// an errno value to fail with (a failing drive's write-back error), or 0.
    std::function<int(const std::string& target)> flushCopies;
    /// Taking the write lease on a source file that an offload holds through
    /// its move (Leases::take of a write lease on `fd`): 0 or an errno
    /// value, EAGAIN when another descriptor has the file open.
    std::function<int(int fd)> takeLease;
    /// The files, by device and inode, that other processes hold open: asked
    /// for the files that cannot be leased (a file system without leases,
    /// another user's file).
    std::function<std::set<std::pair<uint64_t, uint64_t>>()> openElsewhere;
    /// The folders, by device and inode, that other processes work in or
    /// hold open, each with every folder above it: asked once for a folder
    /// an offload is about to move.
    std::function<std::set<std::pair<uint64_t, uint64_t>>()> foldersInUse;

    /// The set in force; no faults unless a test replaced it.
    static Hooks& active();
};

}  // namespace Backup
