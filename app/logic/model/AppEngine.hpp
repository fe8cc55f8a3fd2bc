// The engine calls the model makes, as replaceable functions: bound to the real
// engine by default, replaced in tests to produce failures, cancellation,
// progress sequences and slow completions on demand.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/Backup.hpp"
#include "clean/Cleaner.hpp"
#include "clean/SuggestionTypes.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Volumes.hpp"

/// Every function may be called from any thread; the blocking ones run on the
/// model's executor, the cheap ones (`fullDiskAccess`, `loadConfig`,
/// `loadHistory`, `now`, `updateConfig`) on the UI thread.
struct AppEngine {
    std::function<std::vector<VolumeInfo>()> volumes;
    std::function<bool()> fullDiskAccess;
    std::function<AppConfig()> loadConfig;
    std::function<BackupHistory::Reading()> loadHistory;
    std::function<std::vector<BackupDestination>(bool includeRclone)> discoverDestinations;
    /// A stored scan of the folder no older than `maxAge` seconds.
    std::function<std::optional<ScanResult>(const std::string& path, double maxAge)> cachedScan;
    /// Blocks for the whole scan; throws OstrevaneError on failure or cancellation.
    std::function<ScanResult(const std::string& path, double maxAge, bool refresh, const CancelTokenPtr& cancel,
                             const ScanProgressHandler& progress)>
        scan;
    std::function<void(const ScanResult& result, const std::string& path)> storeScan;
    /// `scan` may be null (the quick report).
    std::function<SuggestionReport(const std::shared_ptr<const ScanResult>& scan,
                                   const std::vector<BackupDestination>& destinations, Date now)>
        analyze;
    std::function<Date()> now;
    /// The home Trash folder (not created when missing). Its size in a scan
    /// goes stale as soon as a clean or an archive changes the Trash.
    std::function<std::string()> homeTrash;
    /// Cleaner::refusalOfPlace: why a place may not be moved to the Trash.
    /// Blocking: it looks at the trash folders of every mounted file system.
    std::function<std::optional<std::string>(const std::string& path)> placeRefusal;
    /// TreeRemeasure::measureOnDisk: the subtree of a path as it is now.
    std::function<std::optional<FileNode>(const std::string& path, int64_t minNodeSize)> measure;

    // Cleaning (blocking; executor only).
    /// Cleaner::apply: throws for a suggestion the cleaner does not carry out.
    std::function<CleanResult(const Suggestion& suggestion, bool dryRun)> applySuggestion;
    /// Cleaner::trash: never throws; refused paths come back as failures.
    std::function<CleanResult(const std::vector<std::string>& paths, bool dryRun)> trash;
    /// Cleaner::emptyTrash: throws when the Trash can be neither listed nor emptied.
    std::function<CleanResult()> emptyTrash;
    /// BackupEngine::evict of one path; may throw.
    std::function<EvictReport(const std::string& path)> evict;
    /// The free bytes of the file systems holding the paths, each file system
    /// counted once; 0 for one whose capacity cannot be read.
    std::function<int64_t(const std::vector<std::string>& paths)> freeBytes;

    // Backups (blocking; executor only). Progress arrives on engine threads.
    /// Service::runPlan: never throws; failures come back in the record.
    std::function<PlanRun(const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel,
                          const BackupProgressHandler& progress)>
        runPlan;
    /// BackupEngine::run: throws when the backup cannot start.
    std::function<BackupReport(const std::string& source, const BackupDestination& destination,
                               const BackupOptions& options, const CancelTokenPtr& cancel,
                               const BackupProgressHandler& progress)>
        backup;
    /// BackupEngine::offload: throws when the backup cannot start.
    std::function<OffloadReport(const std::string& source, const BackupDestination& destination, bool dryRun,
                                const CancelTokenPtr& cancel, const BackupProgressHandler& progress)>
        offload;

    /// ConfigStore::updateOrThrow: reads, changes and writes back under the
    /// store's lock; a failed write throws OstrevaneError and leaves the file
    /// as it was.
    std::function<void(const std::function<void(AppConfig&)>& change)> updateConfig;
    /// DestinationGuard::refusal: why a folder the user picked cannot hold
    /// backups. May be empty (no check).
    std::function<std::optional<std::string>(const std::string& folder)> destinationRefusal;
    /// PlaceRecords::rememberDestination and rememberPlanSource: what a new
    /// destination folder or plan source is now, for later runs to compare.
    /// Throw OstrevaneError when the file cannot be written. May be empty.
    std::function<void(const std::string& folder)> rememberDestination;
    std::function<void(const std::string& planId, const std::string& source)> rememberPlanSource;

    /// What the user must hear about the stored files at start: a
    /// configuration file that cannot be read, a settings file kept aside.
    /// May be empty (no check).
    std::function<std::vector<std::string>()> startupNotices;

    /// Every member bound to the engine itself.
    static AppEngine live();
};

/// The paths an operation touches and the home Trash, which it fills or
/// empties: what a clean measures again (see TreeRemeasure). Blocking.
std::vector<std::string> withTrash(std::vector<std::string> paths, const AppEngine& engine);
