#include "model/AppEngine.hpp"

#include "platform/Trash.hpp"

#include <sys/stat.h>

#include <set>

#include "OwnFolders.hpp"
#include "Service.hpp"
#include "clean/DestinationGuard.hpp"
#include "clean/SeenPlaces.hpp"
#include "clean/Suggestions.hpp"
#include "config/PlaceRecords.hpp"
#include "model/TreeRemeasure.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

namespace {
/// Each file system counted once, told apart by its device number; a path
/// that cannot be examined is measured on its own.
int64_t freeBytesOf(const std::vector<std::string>& paths) {
    std::set<dev_t> seen;
    int64_t total = 0;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && !seen.insert(status.st_dev).second) continue;
        if (auto volume = Volumes::info(path)) total += volume->freeBytes;
    }
    return total;
}
}  // namespace

AppEngine AppEngine::live() {
    AppEngine engine;
    engine.volumes = [] { return Volumes::list(); };
    engine.fullDiskAccess = [] { return Service::hasFullDiskAccess(); };
    engine.loadConfig = [] { return ConfigStore::load(); };
    engine.loadHistory = [] { return BackupHistory::read(); };
    engine.discoverDestinations = [](bool includeRclone) { return Destinations::discover(includeRclone); };
    engine.cachedScan = [](const std::string& path, double maxAge) { return ScanStore::cached(path, maxAge); };
    engine.scan = [](const std::string& path, double maxAge, bool refresh, const CancelTokenPtr& cancel,
                     const ScanProgressHandler& progress) {
        return ScanStore::scan(path, SeenPlaces::scanOptions(path), maxAge, refresh, cancel, progress).result;
    };
    engine.storeScan = [](const ScanResult& result, const std::string& path) { ScanStore::store(result, path); };
    engine.analyze = [](const std::shared_ptr<const ScanResult>& scan,
                        const std::vector<BackupDestination>& destinations,
                        Date now) { return SuggestionEngine::analyze(scan.get(), destinations, now); };
    engine.now = [] { return std::chrono::system_clock::now(); };
    engine.homeTrash = [] { return Trash::homeTrash(); };
    engine.placeRefusal = [](const std::string& path) { return Cleaner::refusalOfPlace(path); };
    engine.measure = TreeRemeasure::measureOnDisk;
    engine.applySuggestion = [](const Suggestion& suggestion, bool dryRun) {
        Cleaner::ApplyLimits limits;
        limits.keep = DestinationGuard::keep();
        return Cleaner::apply(suggestion, dryRun, limits);
    };
    engine.trash = [](const std::vector<std::string>& paths, bool dryRun) { return Cleaner::trash(paths, dryRun); };
    engine.emptyTrash = [] { return Cleaner::emptyTrash(); };
    engine.evict = [](const std::string& path) { return BackupEngine::evict(path); };
    engine.freeBytes = [](const std::vector<std::string>& paths) { return freeBytesOf(paths); };
    engine.runPlan = [](const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel,
                        const BackupProgressHandler& progress) {
        return Service::runPlan(plan, dryRun, cancel, progress);
    };
    engine.backup = [](const std::string& source, const BackupDestination& destination, const BackupOptions& options,
                       const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
        DestinationGuard::check(destination);
        return BackupEngine::run(source, destination, options, cancel, progress);
    };
    engine.offload = [](const std::string& source, const BackupDestination& destination, bool dryRun,
                        const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
        DestinationGuard::check(destination);
        return BackupEngine::offload(source, destination, dryRun, cancel, progress);
    };
    engine.updateConfig = [](const std::function<void(AppConfig&)>& change) { ConfigStore::updateOrThrow(change); };
    engine.destinationRefusal = [](const std::string& folder) { return DestinationGuard::refusal(folder); };
    engine.rememberDestination = [](const std::string& folder) { PlaceRecords::rememberDestination(folder); };
    engine.rememberPlanSource = [](const std::string& planId, const std::string& source) {
        PlaceRecords::rememberPlanSource(planId, source);
    };
    engine.startupNotices = [] {
        std::vector<std::string> notices;
        if (auto notice = ConfigStore::unreadableNotice()) notices.push_back(*notice);
        if (auto refusal = OwnFolders::refusal(Paths::cacheFolder().string())) notices.push_back(*refusal);
        if (auto kept = UserDefaults::keptAside())
            notices.push_back(L("设置文件无法读取,原内容已保留在 %@。", Paths::abbreviate(*kept)));
        return notices;
    };
    return engine;
}

std::vector<std::string> withTrash(std::vector<std::string> paths, const AppEngine& engine) {
    if (engine.homeTrash) paths.push_back(engine.homeTrash());
    return paths;
}
