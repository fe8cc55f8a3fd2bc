// A model wired to a manual dispatcher, executor and timer and to a fake
// engine, so a test decides when each background job runs and lands.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Localization.hpp"
#include "model/AppModel.hpp"

struct AppModelTestAccess {
    static void removeFromScan(AppModel& model, const std::vector<std::string>& paths) {
        model.removeFromScan(paths);
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
    int scans = 0, analyses = 0, discoveries = 0, volumeReads = 0;
    std::vector<ScanResult> stored;

    AppEngine bind() {
        AppEngine engine;
        engine.volumes = [this] { return ++volumeReads, volumes; };
        engine.fullDiskAccess = [] { return false; };
        engine.loadConfig = [] { return AppConfig{}; };
        engine.loadHistory = [] { return std::vector<BackupReport>{}; };
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
            SuggestionReport report;
            report.generatedAt = now;
            report.mode = scan ? "full" : "quick";
            report.notes = {"analysis " + std::to_string(++analyses)};
            return report;
        };
        engine.now = [] { return Date{}; };
        return engine;
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
};
