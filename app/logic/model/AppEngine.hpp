// The engine calls the model makes, as replaceable functions: bound to the real
// engine by default, replaced in tests to produce failures, cancellation,
// progress sequences and slow completions on demand.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Backup.hpp"
#include "Config.hpp"
#include "Destinations.hpp"
#include "ScanStore.hpp"
#include "SuggestionTypes.hpp"
#include "Volumes.hpp"

/// Every function may be called from any thread; the blocking ones run on the
/// model's executor, the cheap ones (`fullDiskAccess`, `loadConfig`,
/// `loadHistory`, `now`) on the UI thread.
struct AppEngine {
    std::function<std::vector<VolumeInfo>()> volumes;
    std::function<bool()> fullDiskAccess;
    std::function<AppConfig()> loadConfig;
    std::function<std::vector<BackupReport>()> loadHistory;
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

    /// Every member bound to the engine itself.
    static AppEngine live();
};
