// The front end's single source of truth: what every page shows and every
// operation a user can start. All state lives on the UI thread; engine work
// runs on the executor and comes back through the dispatcher, in order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/AppEngine.hpp"
#include "model/Dispatcher.hpp"
#include "model/Executor.hpp"
#include "model/Timer.hpp"

class AppModel;
namespace Demo {
/// Fills a model with the built-in demo data (see demo/Demo.hpp).
void load(AppModel& model);
}  // namespace Demo

/// What a model needs of its surroundings. The dispatcher and the executor
/// must outlive every job the model submits (stop the executor first).
struct AppRuntime {
    std::shared_ptr<Dispatcher> dispatcher;
    std::shared_ptr<Executor> executor;
    std::shared_ptr<Timer> timer;
    AppEngine engine = AppEngine::live();
};

class AppModel : public std::enable_shared_from_this<AppModel> {
public:
    /// The pages; the sidebar lists them in the section table's order (AppModel.cpp).
    enum class Section { overview, explorer, suggestions, backup, agent };

    /// A transient message. Every posted notice gets a fresh id, so no two are equal.
    struct Notice {
        std::string id;
        std::string text;
        bool isError = false;
        bool operator==(const Notice&) const = default;
    };

    /// Sets the initial values only; touches neither the disk nor the engine.
    static std::shared_ptr<AppModel> make(AppRuntime runtime);
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // Sections
    // A new section: its value in `Section`, its row in the section table
    // (AppModel.cpp), and its page in ui/shell/Pages.cpp.

    /// In the sidebar's order.
    static const std::vector<Section>& sections();
    static std::string_view rawValue(Section section);
    /// None for any text that is not a raw value.
    static std::optional<Section> sectionFromRaw(std::string_view raw);
    /// The localised title shown by the sidebar and the page header.
    static std::string title(Section section);
    /// The symbol of its sidebar row.
    static std::string_view symbol(Section section);

    // Change notification
    using Observer = std::function<void()>;
    /// The parts of the published state, as bits: a change says which parts
    /// it touched, an observer which parts it shows.
    using Changes = unsigned;
    struct Change {
        static constexpr Changes section = 1u << 0;   ///< section
        static constexpr Changes explorer = 1u << 1;  ///< explorerPath
        static constexpr Changes scan = 1u << 2;      ///< scan, isScanning, scanCancel
        /// scanProgress: every tick of a scan.
        static constexpr Changes scanProgress = 1u << 3;
        static constexpr Changes analysis = 1u << 4;  ///< report, isAnalyzing
        static constexpr Changes volumes = 1u << 5;   ///< volumes, fullDiskAccess
        /// destinations, plans, history, runningBackup, backupCancel
        static constexpr Changes backups = 1u << 6;
        /// backupProgress: every tick of a backup.
        static constexpr Changes backupProgress = 1u << 7;
        static constexpr Changes notice = 1u << 8;    ///< notice
        static constexpr Changes cleaning = 1u << 9;  ///< busySuggestion, trashPending
        static constexpr Changes all = ~0u;
        static constexpr Changes allButProgress = all & ~(scanProgress | backupProgress);
    };
    /// Called on the UI thread after every change that touched one of the
    /// parts in `shows`. Returns a key for unobserve().
    size_t observe(Observer observer, Changes shows = Change::all);
    void unobserve(size_t key);

    // Published state (read on the UI thread)
    const std::optional<Section>& section() const { return section_; }
    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    /// Immutable once published; a change publishes a new tree.
    const std::shared_ptr<const ScanResult>& scan() const { return scan_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<ScanProgress>& scanProgress() const { return scanProgress_; }
    const std::optional<SuggestionReport>& report() const { return report_; }
    bool isAnalyzing() const { return isAnalyzing_; }
    /// Why the cleaner refuses the place of an archive suggestion of the
    /// report (its first path), as read with the analysis; none when it may
    /// go to the Trash or was not read.
    std::optional<std::string> placeRefusal(const std::string& path) const;
    const std::vector<BackupDestination>& destinations() const { return destinations_; }
    const std::vector<BackupPlan>& plans() const { return plans_; }
    const std::vector<BackupReport>& history() const { return history_; }
    const std::optional<std::string>& runningBackup() const { return runningBackup_; }
    const std::optional<BackupProgress>& backupProgress() const { return backupProgress_; }
    const std::string& explorerPath() const { return explorerPath_; }
    const std::optional<Notice>& notice() const { return notice_; }
    bool fullDiskAccess() const { return fullDiskAccess_; }
    const std::optional<std::string>& busySuggestion() const { return busySuggestion_; }
    bool trashPending() const { return trashPending_; }
    const CancelTokenPtr& scanCancel() const { return scanCancel_; }
    const CancelTokenPtr& backupCancel() const { return backupCancel_; }
    bool started() const { return started_; }
    /// Where results come back to the UI thread; objects that run work of their
    /// own (the agent page) post through it too.
    Dispatcher& dispatcher() const { return *runtime.dispatcher; }
    /// The pool the model's work runs on; stopping the runtime waits for what runs there.
    Executor& executor() const { return *runtime.executor; }

    // What views may set directly
    void setSection(std::optional<Section> section);
    void setExplorerPath(std::string path);
    /// The notice banner's close button.
    void dismissNotice();

    // Derived values
    /// The startup disk as the front end shows it: the volume holding the home
    /// folder, else the one marked as the root volume; none without either.
    const VolumeInfo* rootVolume() const;
    std::vector<BackupDestination> availableDestinations() const;
    /// The scan's node at `explorerPath`, else its root; null without a scan.
    /// Valid until the scan changes.
    const FileNode* explorerNode() const;
    /// Whether any background result is still to be applied; the snapshot
    /// mode's waits end once this is false.
    bool hasPendingWork() const { return pendingJobs > 0 || isScanning_ || isAnalyzing_; }

    // Operations (UI thread; they return at once)
    /// The start-up: runs once per model. Posts the engine's start-up notices
    /// (stored files that could not be read) as one error notice. Shows the
    /// stored home scan when it is at most a day old and analyses it, else rescans.
    void bootstrap();
    /// Reloads the cheap state; volumes and destinations arrive later.
    void refreshLight();
    /// Scans the home folder anew; dropped while a scan runs.
    void rescan();
    /// Recomputes the suggestion report and the destinations.
    void analyze();
    /// Posts a notice that clears itself after 8 seconds unless replaced.
    void notify(const std::string& text, bool error);
    /// Stops the running scan; it then ends without a notice.
    void cancelScan();
    /// Stops every running scan and backup (the application is quitting).
    void cancelAll();

    // Cleaning (AppModelCleaning.cpp)
    // One clean or evict at a time: each of these does nothing while
    // `busySuggestion` is set, so emptying the Trash can never race a move into
    // it. Each finished one posts one notice, rereads the volumes and analyses.
    // The scan follows each one: what it touched and the Trash are measured
    // again, so the tree keeps equal to the disk until the next rescan.

    /// Applies one suggestion; busy key: its id. Emptying-the-Trash suggestions
    /// clear `trashPending` like emptyTrash().
    void apply(const Suggestion& suggestion);
    /// Applies every safe, auto-applicable suggestion of the report in order;
    /// busy key "all-safe". Does nothing (no busy key, no notice) when there
    /// is none. A suggestion whose clean throws counts each of its paths as
    /// not moved, with the error's text as the reason.
    void applyAllSafe();
    /// The same over `shown`, the report the user confirmed: a report that
    /// replaced it since may hold items the confirmation never named.
    void applyAllSafe(const SuggestionReport& shown);
    /// Moves the paths to the Trash; busy key "trash".
    void trash(const std::vector<std::string>& paths);
    /// Empties the Trash; busy key "empty-trash". Clears `trashPending` on success.
    void emptyTrash();
    /// Releases the local copies of iCloud Drive paths under the caller's key
    /// (a suggestion's id, or "explorer-evict"). A path whose release throws
    /// counts as one file left alone. Rescans when anything was released.
    void evict(const std::vector<std::string>& paths, const std::string& key);

    // Backups and configuration (AppModelBackups.cpp)
    // One backup at a time: each start does nothing while `runningBackup` is
    // set. Every backup ends by reloading plans, history and volumes, posting
    // one notice and analysing again.

    /// Runs one saved plan; running key: the plan's id.
    void run(const BackupPlan& plan);
    /// Runs a copy of every plan in turn; running key "all". Does nothing
    /// without plans. Plans not started because of a cancellation count as problems.
    void runAllPlans();
    /// Backs one path up with the default options; running key: the path.
    void backup(const std::string& path, const BackupDestination& destination);
    /// Backs one path up, verifies it and moves it to the Trash; running key:
    /// the path. Only a trashed source sets `trashPending` and leaves the scan.
    void offload(const std::string& path, const BackupDestination& destination);
    /// Stops the running backup; it then ends with the engine's cancelled report.
    void cancelBackup();
    /// Appends a new plan (no duplicate check) and reloads `plans` at once.
    void addPlan(const std::string& source, const std::string& destinationId);
    /// Removes every plan with the plan's id and reloads `plans` at once.
    void removePlan(const BackupPlan& plan);
    /// Adds a folder as a custom destination named by its last path component,
    /// replacing one of the same name; destinations are rediscovered.
    /// A folder that cannot hold backups (in the Trash, in a place a clean
    /// empties, in the tool's own folders) is refused with a notice.
    void addCustomDestination(const std::string& path);
    /// Removes the custom folder whose id ("folder:" + name) is the
    /// destination's id; destinations are rediscovered.
    /// A configuration that cannot be written is left as it was, with an error
    /// notice, by each of these four.
    void removeCustomDestination(const BackupDestination& destination);

private:
    explicit AppModel(AppRuntime runtime);
    friend void Demo::load(AppModel& model);
    /// Lets the model's tests reach the private operations.
    friend struct AppModelTestAccess;

    /// The outcome of blocking engine work: a value, or the error's text.
    template <class T>
    struct Outcome {
        std::optional<T> value;
        std::string error;
    };
    /// Runs `work` on the executor and hands its Outcome to `apply` on the UI
    /// thread, unless the model is gone by then. The job holds the model weakly.
    template <class Work, class Apply>
    void background(Priority priority, Work work, Apply apply);
    /// Calls every observer of a part in `changed` or in what was changed unpublished.
    void publish(Changes changed);
    /// Notes a change that a later publish() (a notice, an analysis) tells.
    void changedUnpublished(Changes changed) { unpublished |= changed; }
    /// A progress callback for engine threads: each value is handed to the UI
    /// thread on its own and reaches `apply` there, unless the model is gone.
    template <class Value>
    std::function<void(const Value&)> relay(const CancelTokenPtr& token,
                                            void (AppModel::*apply)(const CancelTokenPtr&, const Value&));

    /// Prunes trashed paths from the current scan and stores the result,
    /// except while a scan runs (its newer tree will be stored instead).
    void removeFromScan(const std::vector<std::string>& paths);

    /// What a clean's work ends with: the clean's result and the scan with
    /// the touched places measured again (null without a scan).
    struct CleanDone {
        CleanResult result;
        std::shared_ptr<const ScanResult> scan;
    };
    /// Runs `clean` on the executor between two measures of the places it
    /// touches (`touched` and the home Trash), then finishes it.
    void cleanInBackground(std::vector<std::string> touched, std::function<CleanResult()> clean, bool emptying);
    /// The common end of apply, applyAllSafe, trash and emptyTrash; the
    /// scan follows it (see followScan).
    void finishClean(Outcome<CleanDone> outcome, bool wasEmptyTrash, uint64_t version);
    /// Publishes a changed tree of the same scan and stores it, except while
    /// a scan runs (its newer tree will be stored instead).
    void replaceScan(std::shared_ptr<const ScanResult> changed);
    /// After an operation: the scan measured again replaces the current one
    /// if that is the scan it measured (`version`); else the paths it moved
    /// to the Trash are pruned from the newer one.
    void followScan(const std::shared_ptr<const ScanResult>& measured, uint64_t version,
                    const std::vector<std::string>& trashed);
    /// Moves `busySuggestion` to the key; false (and nothing changes) when a
    /// clean or evict is already busy.
    bool beginClean(const std::string& key);

    /// What a backup's work ends with. `trashedSource` is a source the work
    /// moved to the Trash; the Trash flag and the scan follow it first.
    struct TrashedSource {
        std::string path;
        /// The scan the work started from (`scannedVersion`) with the source
        /// and the Trash measured again; null without a scan.
        std::shared_ptr<const ScanResult> scan;
        uint64_t scannedVersion = 0;
    };
    struct BackupOutcome {
        std::string message;
        bool isError = false;
        std::optional<TrashedSource> trashedSource;
    };
    /// Blocking backup work, given the run's token and progress callback.
    using BackupWork = std::function<BackupOutcome(const CancelTokenPtr&, const BackupProgressHandler&)>;
    /// The shared runner: publishes the key, a fresh token and the progress,
    /// and ends every backup the same way. Callers check `runningBackup`.
    void startBackup(const std::string& key, BackupWork work);
    void applyBackupProgress(const CancelTokenPtr& token, const BackupProgress& progress);
    void finishBackup(Outcome<BackupOutcome> outcome);
    /// Writes a configuration change and reloads `plans`.
    void changeConfig(const std::function<void(AppConfig&)>& change);
    /// Writes a change of the configuration; false, with an error notice
    /// posted, when the write failed and the file stayed as it was.
    bool writeConfig(const std::function<void(AppConfig&)>& change);
    /// Records a fact of a place beside the configuration; false, with an
    /// error notice posted, when it could not be written.
    bool rememberPlace(const std::function<void(const AppEngine& engine)>& remember);

    /// `refreshLight` without the destinations: volumes, plans and history.
    void readCheapState();
    /// Discovers the destinations in the background; only the newest answer lands.
    void discoverDestinations();
    /// Reads the volumes in the background, one read at a time.
    void readVolumes();
    /// Reloads `history`; a history file that cannot be read is told once
    /// in a notice rather than shown as no backups at all.
    void readHistory();
    void applyScanProgress(const CancelTokenPtr& token, const ScanProgress& progress);
    void finishScan(const CancelTokenPtr& token, Outcome<ScanResult> outcome);
    void storeScanInBackground(const std::shared_ptr<const ScanResult>& result);

    AppRuntime runtime;
    std::string home;

    std::optional<Section> section_ = Section::overview;
    std::vector<VolumeInfo> volumes_;
    std::shared_ptr<const ScanResult> scan_;
    bool isScanning_ = false;
    std::optional<ScanProgress> scanProgress_;
    std::optional<SuggestionReport> report_;
    std::map<std::string, std::optional<std::string>> placeRefusals_;
    bool isAnalyzing_ = false;
    std::vector<BackupDestination> destinations_;
    std::vector<BackupPlan> plans_;
    std::vector<BackupReport> history_;
    bool historyUnreadableTold_ = false;
    std::optional<std::string> runningBackup_;
    std::optional<BackupProgress> backupProgress_;
    std::string explorerPath_;
    std::optional<Notice> notice_;
    bool fullDiskAccess_ = true;
    std::optional<std::string> busySuggestion_;
    bool trashPending_ = false;
    /// A clean or an archive changed the Trash since the scan was made: the
    /// analysis measures the Trash afresh instead of reading the scan.
    bool trashChanged_ = false;
    CancelTokenPtr scanCancel_;
    CancelTokenPtr backupCancel_;
    bool started_ = false;

    // Request counters: a background result is applied only when it answers
    // the newest request of its kind, so a slow older one never overwrites a
    // newer one.
    uint64_t destinationRequests = 0;
    uint64_t analysisRequests = 0;
    bool volumesReading = false;
    bool volumesWanted = false;
    /// Counts published scans, so a late cache load never replaces a newer scan.
    uint64_t scanVersion = 0;
    /// Orders the stores of pruned scans (see storeScanInBackground).
    std::shared_ptr<struct ScanStoreGate> storeGate;
    int pendingJobs = 0;

    size_t nextObserver = 0;
    struct Subscription {
        Observer observer;
        Changes shows;
    };
    std::map<size_t, Subscription> observers;
    Changes unpublished = 0;
};

template <class Work, class Apply>
void AppModel::background(Priority priority, Work work, Apply apply) {
    using Value = decltype(work());
    ++pendingJobs;
    std::weak_ptr<AppModel> weak = weak_from_this();
    std::shared_ptr<Dispatcher> dispatcher = runtime.dispatcher;
    runtime.executor->submit(priority, [weak, dispatcher, work = std::move(work), apply = std::move(apply)]() {
        Outcome<Value> outcome;
        try {
            outcome.value = work();
        } catch (const std::exception& error) {
            outcome.error = error.what();
        } catch (...) {
            outcome.error = "unknown error";
        }
        dispatcher->post([weak, apply, outcome = std::move(outcome)]() mutable {
            auto model = weak.lock();
            if (!model) return;
            --model->pendingJobs;
            apply(*model, std::move(outcome));
        });
    });
}

template <class Value>
std::function<void(const Value&)> AppModel::relay(const CancelTokenPtr& token,
                                                  void (AppModel::*apply)(const CancelTokenPtr&, const Value&)) {
    std::weak_ptr<AppModel> weak = weak_from_this();
    std::shared_ptr<Dispatcher> dispatcher = runtime.dispatcher;
    return [weak, dispatcher, token, apply](const Value& value) {
        dispatcher->post([weak, token, apply, value] {
            if (auto model = weak.lock()) (model.get()->*apply)(token, value);
        });
    };
}
