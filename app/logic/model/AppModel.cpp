#include "model/AppModel.hpp"

#include <set>
#include <utility>

#include "Service.hpp"
#include "model/UUID.hpp"
#include "text/Localization.hpp"

namespace {
constexpr double cacheMaxAge = 86400;
constexpr double noticeSeconds = 8;
}  // namespace

/// Stores of pruned scans run on the pool and could finish out of order; each
/// carries its number, and only the newest one requested is written.
struct ScanStoreGate {
    std::mutex lock;
    uint64_t newest = 0;
};

AppModel::AppModel(AppRuntime runtime)
    : runtime(std::move(runtime)),
      home(Paths::home()),
      explorerPath_(home),
      storeGate(std::make_shared<ScanStoreGate>()) {}

std::shared_ptr<AppModel> AppModel::make(AppRuntime runtime) {
    return std::shared_ptr<AppModel>(new AppModel(std::move(runtime)));
}

// Sections

namespace {
/// One row per section, in the sidebar's order: everything a section is besides its page.
struct SectionRow {
    AppModel::Section section;
    std::string_view raw;
    /// The key of its title in the string table.
    const char* title;
    std::string_view symbol;
};

constexpr SectionRow sectionTable[] = {
    {AppModel::Section::overview, "overview", "概览", "gauge.with.dots.needle.50percent"},
    {AppModel::Section::explorer, "explorer", "空间分析", "square.grid.3x3.topleft.filled"},
    {AppModel::Section::suggestions, "suggestions", "清理建议", "sparkles"},
    {AppModel::Section::backup, "backup", "网盘备份", "icloud.and.arrow.up"},
    {AppModel::Section::agent, "agent", "AI 接入", "terminal"},
};

const SectionRow& rowOf(AppModel::Section section) {
    for (const SectionRow& row : sectionTable)
        if (row.section == section) return row;
    return sectionTable[0];
}
}  // namespace

const std::vector<AppModel::Section>& AppModel::sections() {
    static const std::vector<Section> all = [] {
        std::vector<Section> inOrder;
        for (const SectionRow& row : sectionTable) inOrder.push_back(row.section);
        return inOrder;
    }();
    return all;
}

std::string_view AppModel::rawValue(Section section) { return rowOf(section).raw; }

std::optional<AppModel::Section> AppModel::sectionFromRaw(std::string_view raw) {
    for (Section section : sections())
        if (rawValue(section) == raw) return section;
    return std::nullopt;
}

std::string AppModel::title(Section section) { return L(rowOf(section).title); }

std::string_view AppModel::symbol(Section section) { return rowOf(section).symbol; }

// Change notification

size_t AppModel::observe(Observer observer, Changes shows) {
    observers.emplace(nextObserver, Subscription{std::move(observer), shows});
    return nextObserver++;
}

void AppModel::unobserve(size_t key) { observers.erase(key); }

void AppModel::publish(Changes changed) {
    changed |= std::exchange(unpublished, 0);
    // A copy: an observer may subscribe or unsubscribe while being called.
    auto current = observers;
    for (auto& [key, subscription] : current)
        if ((subscription.shows & changed) && observers.count(key)) subscription.observer();
}

void AppModel::setSection(std::optional<Section> section) {
    section_ = section;
    publish(Change::section);
}

void AppModel::setExplorerPath(std::string path) {
    explorerPath_ = std::move(path);
    publish(Change::explorer);
}

void AppModel::dismissNotice() {
    notice_.reset();
    publish(Change::notice);
}

// Derived values

const VolumeInfo* AppModel::rootVolume() const {
    const VolumeInfo* holder = nullptr;
    for (const VolumeInfo& volume : volumes_)
        if (Paths::isInside(home, volume.mountPoint) &&
            (!holder || volume.mountPoint.size() > holder->mountPoint.size()))
            holder = &volume;
    if (holder) return holder;
    for (const VolumeInfo& volume : volumes_)
        if (volume.isRoot) return &volume;
    return nullptr;
}

std::vector<BackupDestination> AppModel::availableDestinations() const {
    std::vector<BackupDestination> available;
    for (const BackupDestination& destination : destinations_)
        if (destination.available) available.push_back(destination);
    return available;
}

std::optional<std::string> AppModel::placeRefusal(const std::string& path) const {
    auto found = placeRefusals_.find(path);
    return found == placeRefusals_.end() ? std::nullopt : found->second;
}

const FileNode* AppModel::explorerNode() const {
    if (!scan_) return nullptr;
    const FileNode* node = scan_->root.find(explorerPath_);
    return node ? node : &scan_->root;
}

// Start-up and refresh

void AppModel::bootstrap() {
    if (started_) return;
    started_ = true;
    refreshLight();
    if (runtime.engine.startupNotices) {
        std::string text;
        for (const std::string& notice : runtime.engine.startupNotices()) text += (text.empty() ? "" : "\n") + notice;
        if (!text.empty()) notify(text, true);
    }
    const uint64_t version = scanVersion;
    background(
        Priority::userInitiated,
        [cached = runtime.engine.cachedScan, home = home] { return cached(home, cacheMaxAge); },
        [version](AppModel& model, Outcome<std::optional<ScanResult>> outcome) {
            if (!outcome.value || !*outcome.value) return model.rescan();
            // A scan published meanwhile is newer than anything in the cache.
            if (model.scanVersion != version) return;
            model.scan_ = std::make_shared<const ScanResult>(std::move(**outcome.value));
            // A stored scan may be a day old, and one stored by an older
            // version after a clean was pruned of what went to the Trash
            // without adding it there: its Trash is measured afresh.
            model.trashChanged_ = true;
            ++model.scanVersion;
            model.publish(Change::scan);
            model.analyze();
        });
}

void AppModel::refreshLight() {
    readCheapState();
    discoverDestinations();
}

void AppModel::readCheapState() {
    readVolumes();
    fullDiskAccess_ = runtime.engine.fullDiskAccess();
    plans_ = runtime.engine.loadConfig().plans;
    readHistory();
    publish(Change::volumes | Change::backups);
}

void AppModel::discoverDestinations() {
    const uint64_t destinationRequest = ++destinationRequests;
    background(
        Priority::standard, [discover = runtime.engine.discoverDestinations] { return discover(true); },
        [destinationRequest](AppModel& model, Outcome<std::vector<BackupDestination>> outcome) {
            if (destinationRequest != model.destinationRequests || !outcome.value) return;
            model.destinations_ = std::move(*outcome.value);
            model.publish(Change::backups);
        });
}

void AppModel::readHistory() {
    BackupHistory::Reading reading = runtime.engine.loadHistory();
    history_ = std::move(reading.reports);
    changedUnpublished(Change::backups);
    const bool tell = reading.unreadable && !historyUnreadableTold_;
    historyUnreadableTold_ = reading.unreadable;
    if (tell) notify(BackupHistory::unreadableNotice(), true);
}

void AppModel::readVolumes() {
    // In the background: a hung network mount must not freeze the window. One
    // read at a time, so a hung one holds one worker rather than piling up;
    // requests meanwhile become one more read after it.
    if (volumesReading) {
        volumesWanted = true;
        return;
    }
    volumesReading = true;
    background(
        Priority::standard, [volumes = runtime.engine.volumes] { return volumes(); },
        [](AppModel& model, Outcome<std::vector<VolumeInfo>> outcome) {
            model.volumesReading = false;
            if (outcome.value) {
                model.volumes_ = std::move(*outcome.value);
                model.publish(Change::volumes);
            }
            if (std::exchange(model.volumesWanted, false)) model.readVolumes();
        });
}

// Scanning

void AppModel::rescan() {
    if (isScanning_) return;
    isScanning_ = true;
    scanProgress_.reset();
    auto token = std::make_shared<CancelToken>();
    scanCancel_ = token;
    publish(Change::scan | Change::scanProgress);

    ScanProgressHandler progress = relay(token, &AppModel::applyScanProgress);
    background(
        Priority::userInitiated,
        [scan = runtime.engine.scan, home = home, token, progress] {
            return scan(home, Service::scanMaxAge, true, token, progress);
        },
        [token](AppModel& model, Outcome<ScanResult> outcome) { model.finishScan(token, std::move(outcome)); });
}

void AppModel::applyScanProgress(const CancelTokenPtr& token, const ScanProgress& progress) {
    if (!isScanning_ || token != scanCancel_) return;
    scanProgress_ = progress;
    publish(Change::scanProgress);
}

void AppModel::finishScan(const CancelTokenPtr& token, Outcome<ScanResult> outcome) {
    isScanning_ = false;
    if (outcome.value) {
        scan_ = std::make_shared<const ScanResult>(std::move(*outcome.value));
        trashChanged_ = false;
        ++scanVersion;
        publish(Change::scan);
        // The analysis discovers the destinations too, and a discovery asked
        // for before it would only be dropped as the older answer.
        readCheapState();
        analyze();
        return;
    }
    publish(Change::scan);
    // Cancellation and failure are told apart by the token alone.
    if (!token->isCancelled()) notify(outcome.error, true);
}

void AppModel::cancelScan() {
    if (scanCancel_) scanCancel_->cancel();
}

void AppModel::cancelAll() {
    cancelScan();
    if (backupCancel_) backupCancel_->cancel();
}

// Analysis

namespace {
// Why the cleaner refuses each archive's place: an archive ends with a move
// to the Trash, and the card says so before anything is backed up.
std::map<std::string, std::optional<std::string>> placeRefusalsOf(const SuggestionReport& report,
                                                                  const AppEngine& engine) {
    std::map<std::string, std::optional<std::string>> refusals;
    if (!engine.placeRefusal) return refusals;
    for (const Suggestion& suggestion : report.suggestions)
        if (suggestion.action == CleanAction::offload && !suggestion.paths.empty())
            refusals.emplace(suggestion.paths.front(), engine.placeRefusal(suggestion.paths.front()));
    return refusals;
}

// The scan without the home Trash, so that the analysis measures the Trash
// as it is now rather than as the scan found it.
std::shared_ptr<const ScanResult> withoutTrash(const std::shared_ptr<const ScanResult>& scan, const AppEngine& engine) {
    if (!scan || !engine.homeTrash) return scan;
    const std::string trash = engine.homeTrash();
    if (trash.empty() || !scan->root.find(trash)) return scan;
    return std::make_shared<const ScanResult>(scan->replacingRoot(scan->root.removing({trash})));
}
}  // namespace

void AppModel::analyze() {
    std::shared_ptr<const ScanResult> copy = scan_;
    isAnalyzing_ = true;
    publish(Change::analysis);
    const uint64_t analysisRequest = ++analysisRequests;
    const uint64_t destinationRequest = ++destinationRequests;
    struct Result {
        std::vector<BackupDestination> destinations;
        SuggestionReport report;
        std::map<std::string, std::optional<std::string>> placeRefusals;
    };
    background(
        Priority::standard,
        [engine = runtime.engine, copy, trashChanged = trashChanged_] {
            auto destinations = engine.discoverDestinations(true);
            auto report = engine.analyze(trashChanged ? withoutTrash(copy, engine) : copy, destinations, engine.now());
            auto refusals = placeRefusalsOf(report, engine);
            return Result{std::move(destinations), std::move(report), std::move(refusals)};
        },
        [analysisRequest, destinationRequest](AppModel& model, Outcome<Result> outcome) {
            if (outcome.value && destinationRequest == model.destinationRequests)
                model.destinations_ = outcome.value->destinations;
            if (analysisRequest == model.analysisRequests) {
                if (outcome.value) {
                    model.report_ = std::move(outcome.value->report);
                    model.placeRefusals_ = std::move(outcome.value->placeRefusals);
                }
                model.isAnalyzing_ = false;
            }
            model.publish(Change::analysis | Change::backups);
        });
}

// Pruning after cleaning

void AppModel::removeFromScan(const std::vector<std::string>& paths) {
    if (!scan_) return;
    replaceScan(std::make_shared<const ScanResult>(
        scan_->replacingRoot(scan_->root.removing(std::set<std::string>(paths.begin(), paths.end())))));
}

void AppModel::replaceScan(std::shared_ptr<const ScanResult> changed) {
    std::shared_ptr<const ScanResult> old = std::exchange(scan_, std::move(changed));
    ++scanVersion;
    if (!isScanning_) storeScanInBackground(scan_);
    if (old && old->root.find(explorerPath_) && !scan_->root.find(explorerPath_))
        explorerPath_ = Paths::parentFolder(explorerPath_);
    publish(Change::scan | Change::explorer);
}

void AppModel::followScan(const std::shared_ptr<const ScanResult>& measured, uint64_t version,
                          const std::vector<std::string>& trashed) {
    if (measured && version == scanVersion) return replaceScan(measured);
    if (!trashed.empty()) removeFromScan(trashed);
}

void AppModel::storeScanInBackground(const std::shared_ptr<const ScanResult>& result) {
    uint64_t number;
    {
        std::lock_guard guard(storeGate->lock);
        number = ++storeGate->newest;
    }
    runtime.executor->submit(Priority::standard,
                             [gate = storeGate, store = runtime.engine.storeScan, result, home = home, number] {
                                 std::lock_guard guard(gate->lock);
                                 if (number == gate->newest) store(*result, home);
                             });
}

// Notices

void AppModel::notify(const std::string& text, bool error) {
    Notice notice{UUIDs::make(), text, error};
    notice_ = notice;
    publish(Change::notice);
    std::weak_ptr<AppModel> weak = weak_from_this();
    runtime.timer->after(noticeSeconds, [weak, notice] {
        auto model = weak.lock();
        if (!model || model->notice_ != notice) return;
        model->notice_.reset();
        model->publish(Change::notice);
    });
}
