// A model wired to a manual dispatcher, executor and timer and to a fake
// engine, so a test decides when each background job runs and lands.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "base/ScopedHooks.hpp"
#include "clean/DestinationGuard.hpp"
#include "model/AppModel.hpp"
#include "model/TreeRemeasure.hpp"
#include "platform/Mounts.hpp"
#include "text/Localization.hpp"

struct AppModelTestAccess {
    static void removeFromScan(AppModel& model, const std::vector<std::string>& paths) { model.removeFromScan(paths); }
    static void setTrashPending(AppModel& model, bool pending) {
        model.trashPending_ = pending;
        model.publish(AppModel::Change::cleaning);
    }
};

/// A network share whose server went away, or a disk spinning up: while it
/// is in force, each read of the mount table takes `hung` and is counted.
struct HungMounts {
    static constexpr std::chrono::milliseconds hung{1000};
    std::atomic<int> tableReads = 0;
    ScopedHooks<Mounts::Hooks> mounts;

    HungMounts() {
        mounts->readTable = [this, read = mounts.previous().readTable] {
            ++tableReads;
            std::this_thread::sleep_for(hung);
            return read();
        };
    }
};

/// The fake engine's script and what it saw.
struct FakeEngine {
    std::vector<VolumeInfo> volumes;
    std::vector<BackupDestination> destinations;
    std::optional<ScanResult> cached;
    /// What a scan does; by default reports `progress` and returns `scanResult`.
    std::function<ScanResult(const CancelTokenPtr&, const ScanProgressHandler&)> scan;
    std::vector<ScanProgress> progress;
    ScanResult scanResult;
    /// The suggestions every analysis reports, and what it adds to each report.
    std::vector<Suggestion> suggestions;
    std::function<void(SuggestionReport&)> analyzeHook;
    int scans = 0, analyses = 0, discoveries = 0, volumeReads = 0;
    /// The home Trash folder the engine names, and the scan each analysis was given.
    std::string trashFolder;
    std::vector<std::shared_ptr<const ScanResult>> analyzed;
    /// How a clean measures its places again; the disk by default.
    TreeRemeasure::Measure measure = TreeRemeasure::measureOnDisk;
    std::vector<ScanResult> stored;

    // Cleaning: unset scripts trash every path asked for and empty an empty Trash.
    std::function<CleanResult(const Suggestion&)> applySuggestion;
    std::function<CleanResult(const std::vector<std::string>&)> trash;
    std::function<CleanResult()> emptyTrash;
    std::function<EvictReport(const std::string&)> evict;
    /// Successive answers of the free-space reading (0 once used up), and the paths each was asked for.
    std::vector<int64_t> freeReadings;
    std::vector<std::vector<std::string>> freeAsked;
    std::vector<std::string> applied;

    // Backups: unset scripts throw.
    std::function<PlanRun(const BackupPlan&, const CancelTokenPtr&, const BackupProgressHandler&)> runPlan;
    std::function<BackupReport(const std::string&, const CancelTokenPtr&, const BackupProgressHandler&)> backup;
    std::function<OffloadReport(const std::string&, const CancelTokenPtr&, const BackupProgressHandler&)> offload;
    /// The configuration file: in memory, or the real store under the test's home.
    AppConfig config;
    bool realConfig = false;
    /// When set, every write of the configuration fails with this message, as on a full disk.
    std::optional<std::string> configWriteError;
    int historyLoads = 0;
    std::vector<BackupReport> history;
    bool historyUnreadable = false;
    /// The start-up notices; none unless set.
    std::function<std::vector<std::string>()> startupNotices;

    AppEngine bind() {
        AppEngine engine;
        engine.volumes = [this] { return ++volumeReads, volumes; };
        engine.fullDiskAccess = [] { return false; };
        engine.loadConfig = [this] { return realConfig ? ConfigStore::load() : config; };
        engine.updateConfig = [this](const std::function<void(AppConfig&)>& change) {
            if (configWriteError) throw OstrevaneError(*configWriteError);
            realConfig ? (void)ConfigStore::updateOrThrow(change) : change(config);
        };
        engine.placeRefusal = [](const std::string& path) { return Cleaner::refusalOfPlace(path); };
        engine.destinationRefusal = [](const std::string& folder) { return DestinationGuard::refusal(folder); };
        engine.loadHistory = [this] { return ++historyLoads, BackupHistory::Reading{history, historyUnreadable}; };
        engine.discoverDestinations = [this](bool) { return ++discoveries, destinations; };
        engine.cachedScan = [this](const std::string&, double) { return cached; };
        engine.scan = [this](const std::string&, double, bool, const CancelTokenPtr& token,
                             const ScanProgressHandler& handler) {
            ++scans;
            if (scan) return scan(token, handler);
            for (const ScanProgress& value : progress) handler(value);
            return scanResult;
        };
        engine.storeScan = [this](const ScanResult& result, const std::string&) { stored.push_back(result); };
        engine.analyze = [this](const std::shared_ptr<const ScanResult>& scan, const std::vector<BackupDestination>&,
                                Date now) {
            analyzed.push_back(scan);
            SuggestionReport report;
            report.generatedAt = now;
            report.mode = scan ? "full" : "quick";
            report.notes = {"analysis " + std::to_string(++analyses)};
            report.suggestions = suggestions;
            if (analyzeHook) analyzeHook(report);
            return report;
        };
        engine.now = [] { return Date{}; };
        engine.startupNotices = [this] { return startupNotices ? startupNotices() : std::vector<std::string>{}; };
        engine.homeTrash = [this] { return trashFolder; };
        engine.measure = [this](const std::string& path, int64_t minNodeSize) { return measure(path, minNodeSize); };
        bindCleaning(engine);
        bindBackups(engine);
        return engine;
    }

    void bindCleaning(AppEngine& engine) {
        engine.applySuggestion = [this](const Suggestion& suggestion, bool) {
            applied.push_back(suggestion.id);
            if (applySuggestion) return applySuggestion(suggestion);
            return CleanResult(false, suggestion.paths, {}, suggestion.reclaimableBytes, "applied " + suggestion.id);
        };
        engine.trash = [this](const std::vector<std::string>& paths, bool) {
            return trash ? trash(paths) : CleanResult(false, paths, {}, 0, "trashed");
        };
        engine.emptyTrash = [this] { return emptyTrash ? emptyTrash() : CleanResult(false, {}, {}, 0, "emptied"); };
        engine.evict = [this](const std::string& path) { return evict(path); };
        engine.freeBytes = [this](const std::vector<std::string>& paths) {
            freeAsked.push_back(paths);
            return freeAsked.size() <= freeReadings.size() ? freeReadings[freeAsked.size() - 1] : int64_t{0};
        };
    }

    void bindBackups(AppEngine& engine) {
        engine.runPlan = [this](const BackupPlan& plan, bool, const CancelTokenPtr& token,
                                const BackupProgressHandler& progress) { return runPlan(plan, token, progress); };
        engine.backup = [this](const std::string& source, const BackupDestination&, const BackupOptions&,
                               const CancelTokenPtr& token,
                               const BackupProgressHandler& progress) { return backup(source, token, progress); };
        engine.offload = [this](const std::string& source, const BackupDestination&, bool, const CancelTokenPtr& token,
                                const BackupProgressHandler& progress) { return offload(source, token, progress); };
    }
};

/// A folder node with the given children (sizes add up).
inline FileNode folderNode(const std::string& path, std::vector<FileNode> children = {}, int64_t ownSize = 0) {
    FileNode node{Paths::lastComponent(path), path, true, ownSize, 1, std::nullopt, std::vector<FileNode>{}};
    for (auto& child : children) {
        node.size += child.size;
        node.fileCount += child.fileCount;
        node.children->push_back(std::move(child));
    }
    return node;
}

inline ScanResult scanOf(FileNode root) {
    ScanResult result;
    result.root = std::move(root);
    result.fileCount = result.root.fileCount;
    return result;
}

struct ModelHarness {
    std::shared_ptr<ManualDispatcher> dispatcher = std::make_shared<ManualDispatcher>();
    std::shared_ptr<ManualExecutor> executor = std::make_shared<ManualExecutor>();
    std::shared_ptr<ManualTimer> timer = std::make_shared<ManualTimer>();
    FakeEngine engine;
    std::shared_ptr<AppModel> model = AppModel::make(AppRuntime{dispatcher, executor, timer, engine.bind()});

    /// Runs every queued job and applies every result, until nothing is left.
    void settle() {
        while (executor->runAll() + dispatcher->drain() > 0) {
        }
    }
    /// Starts the model on a stored scan and lets the start-up finish.
    void startWith(FileNode root) {
        engine.cached = scanOf(std::move(root));
        model->bootstrap();
        settle();
    }
    /// Every distinct notice posted from now on.
    std::shared_ptr<std::vector<AppModel::Notice>> recordNotices() {
        auto seen = std::make_shared<std::vector<AppModel::Notice>>();
        model->observe([seen, model = model.get()] {
            if (model->notice() && (seen->empty() || seen->back() != *model->notice()))
                seen->push_back(*model->notice());
        });
        return seen;
    }
};

/// A test on its own temporary home, in English, with one harnessed model.
class ModelTest : public ::testing::Test {
protected:
    testing_support::ScopedHome home{"en"};
    ModelHarness harness;
    AppModel& model = *harness.model;
    FakeEngine& engine = harness.engine;
    const std::string root = Paths::home();
};
