#include "model/AppEngine.hpp"

#include "Service.hpp"
#include "Suggestions.hpp"

AppEngine AppEngine::live() {
    AppEngine engine;
    engine.volumes = [] { return Volumes::list(); };
    engine.fullDiskAccess = [] { return Service::hasFullDiskAccess(); };
    engine.loadConfig = [] { return ConfigStore::load(); };
    engine.loadHistory = [] { return BackupHistory::load(); };
    engine.discoverDestinations = [](bool includeRclone) { return Destinations::discover(includeRclone); };
    engine.cachedScan = [](const std::string& path, double maxAge) { return ScanStore::cached(path, maxAge); };
    engine.scan = [](const std::string& path, double maxAge, bool refresh, const CancelTokenPtr& cancel,
                     const ScanProgressHandler& progress) {
        return ScanStore::scan(path, maxAge, refresh, cancel, progress).result;
    };
    engine.storeScan = [](const ScanResult& result, const std::string& path) { ScanStore::store(result, path); };
    engine.analyze = [](const std::shared_ptr<const ScanResult>& scan,
                        const std::vector<BackupDestination>& destinations,
                        Date now) { return SuggestionEngine::analyze(scan.get(), destinations, now); };
    engine.now = [] { return std::chrono::system_clock::now(); };
    return engine;
}
