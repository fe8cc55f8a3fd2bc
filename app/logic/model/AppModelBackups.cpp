// The model's backup operations and configuration edits. All backups share
// one runner, so at most one runs and every one ends the same way.
#include <algorithm>

#include "model/AppModel.hpp"
#include "model/TreeRemeasure.hpp"
#include "text/Localization.hpp"

namespace {

/// A run's message with the note that its history write kept an unreadable history aside.
std::string withHistoryNotice(std::string message, const BackupReport& report) {
    if (auto notice = historyNotice(report)) message += " " + *notice;
    return message;
}

/// A plan run that did not finish cleanly. A cancelled run counts: otherwise
/// cancelling the last plan would be reported as every plan finished.
bool hadProblem(const PlanRun& run) {
    if (run.error || !run.report) return true;
    return run.report->filesFailed >= 1 || run.report->status == BackupStatus::cancelled;
}

}  // namespace

// The runner

void AppModel::startBackup(const std::string& key, BackupWork work) {
    runningBackup_ = key;
    backupProgress_.reset();
    auto token = std::make_shared<CancelToken>();
    backupCancel_ = token;
    publish(Change::backups | Change::backupProgress);

    BackupProgressHandler progress = relay(token, &AppModel::applyBackupProgress);
    background(
        Priority::standard, [work = std::move(work), token, progress] { return work(token, progress); },
        [](AppModel& model, Outcome<BackupOutcome> outcome) { model.finishBackup(std::move(outcome)); });
}

void AppModel::applyBackupProgress(const CancelTokenPtr& token, const BackupProgress& progress) {
    if (!runningBackup_ || token != backupCancel_) return;
    backupProgress_ = progress;
    publish(Change::backupProgress);
}

void AppModel::finishBackup(Outcome<BackupOutcome> outcome) {
    BackupOutcome result = outcome.value ? std::move(*outcome.value) : BackupOutcome{outcome.error, true, {}};
    if (result.trashedSource) {
        trashPending_ = true;
        trashChanged_ = true;
        followScan(result.trashedSource->scan, result.trashedSource->scannedVersion, {result.trashedSource->path});
    }
    runningBackup_.reset();
    backupProgress_.reset();
    // Told by the notice below.
    changedUnpublished(Change::backups | Change::backupProgress | Change::cleaning);
    plans_ = runtime.engine.loadConfig().plans;
    readHistory();
    readVolumes();
    notify(result.message, result.isError);
    analyze();
}

void AppModel::cancelBackup() {
    if (backupCancel_) backupCancel_->cancel();
}

// Backups

void AppModel::run(const BackupPlan& plan) {
    if (runningBackup_) return;
    startBackup(plan.id, [runPlan = runtime.engine.runPlan, plan](const CancelTokenPtr& token,
                                                                  const BackupProgressHandler& progress) {
        PlanRun result = runPlan(plan, false, token, progress);
        if (result.report)
            return BackupOutcome{
                withHistoryNotice(result.report->summary, *result.report), result.report->filesFailed > 0, {}};
        const bool told = result.error && !result.error->empty();
        return BackupOutcome{told ? *result.error : L("备份失败"), true, {}};
    });
}

void AppModel::runAllPlans() {
    if (runningBackup_ || plans_.empty()) return;
    startBackup("all", [runPlan = runtime.engine.runPlan, plans = plans_](const CancelTokenPtr& token,
                                                                          const BackupProgressHandler& progress) {
        size_t problems = 0;
        BackupReport keptHistory;
        for (const BackupPlan& plan : plans) {
            if (token->isCancelled()) {
                ++problems;
                continue;
            }
            PlanRun run = runPlan(plan, false, token, progress);
            if (run.report && historyNotice(*run.report)) keptHistory = *run.report;
            if (hadProblem(run)) ++problems;
        }
        if (problems == 0)
            return BackupOutcome{withHistoryNotice(L("%@ 个备份计划全部完成。", plans.size()), keptHistory), false, {}};
        return BackupOutcome{
            withHistoryNotice(L("%@ 个计划中有 %@ 个出现问题,详见备份记录。", plans.size(), problems), keptHistory),
            true,
            {}};
    });
}

void AppModel::backup(const std::string& path, const BackupDestination& destination) {
    if (runningBackup_) return;
    startBackup(path, [backup = runtime.engine.backup, path, destination](const CancelTokenPtr& token,
                                                                          const BackupProgressHandler& progress) {
        BackupReport report = backup(path, destination, BackupOptions(), token, progress);
        return BackupOutcome{
            withHistoryNotice(L("%@ 位置:%@", report.summary, Paths::abbreviate(report.target)), report),
            report.filesFailed > 0,
            {}};
    });
}

void AppModel::offload(const std::string& path, const BackupDestination& destination) {
    if (runningBackup_) return;
    startBackup(path, [engine = runtime.engine, path, destination, scan = scan_, version = scanVersion](
                          const CancelTokenPtr& token, const BackupProgressHandler& progress) {
        OffloadReport report;
        // The backup history in the support folder grows too.
        const std::vector<std::string> touched{Paths::expand(path), Paths::supportDir().string()};
        auto measured = TreeRemeasure::around(scan, withTrash(touched, engine), engine.measure, [&] {
            report = engine.offload(path, destination, false, token, progress);
        });
        // Anything short of a source in the Trash (an incomplete or unverified
        // copy, a failed move) leaves the scan alone and is an error.
        std::string message = withHistoryNotice(report.message, report.backup);
        // A source that changed after its check may be left in the Trash:
        // gone from the scan, yet not offloaded.
        if (!report.sourceTrashed) return BackupOutcome{message, true, {}};
        return BackupOutcome{message, !report.verified, TrashedSource{path, std::move(measured), version}};
    });
}

// Configuration

bool AppModel::writeConfig(const std::function<void(AppConfig&)>& change) {
    try {
        runtime.engine.updateConfig(change);
        return true;
    } catch (const OstrevaneError& error) {
        // A full disk must not make a new plan or folder vanish without a word.
        notify(L("无法保存设置:%@", error.message), true);
        return false;
    }
}

void AppModel::changeConfig(const std::function<void(AppConfig&)>& change) {
    if (!writeConfig(change)) return;
    plans_ = runtime.engine.loadConfig().plans;
    publish(Change::backups);
}

void AppModel::addPlan(const std::string& source, const std::string& destinationId) {
    const BackupPlan plan(source, destinationId);
    // Recorded first: a plan without its source's place would later run
    // wherever a link swapped in for the source leads.
    if (!rememberPlace([&](const AppEngine& engine) {
            if (engine.rememberPlanSource) engine.rememberPlanSource(plan.id, source);
        }))
        return;
    changeConfig([&](AppConfig& config) { config.plans.push_back(plan); });
}

bool AppModel::rememberPlace(const std::function<void(const AppEngine& engine)>& remember) {
    try {
        remember(runtime.engine);
        return true;
    } catch (const OstrevaneError& error) {
        notify(L("无法保存设置:%@", error.message), true);
        return false;
    }
}

void AppModel::removePlan(const BackupPlan& plan) {
    changeConfig([&](AppConfig& config) {
        std::erase_if(config.plans, [&](const BackupPlan& entry) { return entry.id == plan.id; });
    });
}

void AppModel::addCustomDestination(const std::string& path) {
    if (runtime.engine.destinationRefusal) {
        if (auto reason = runtime.engine.destinationRefusal(path)) {
            notify(*reason, true);
            return;
        }
    }
    if (!rememberPlace([&](const AppEngine& engine) {
            if (engine.rememberDestination) engine.rememberDestination(path);
        }))
        return;
    const std::string name = Paths::lastComponent(path);
    const bool written = writeConfig([&](AppConfig& config) {
        // The name is a custom folder's identity: a newer folder of that name replaces the older.
        std::erase_if(config.customDestinations, [&](const CustomDestination& entry) { return entry.name == name; });
        config.customDestinations.push_back({name, path});
    });
    if (written) refreshLight();
}

void AppModel::removeCustomDestination(const BackupDestination& destination) {
    const bool written = writeConfig([&](AppConfig& config) {
        std::erase_if(config.customDestinations,
                      [&](const CustomDestination& entry) { return entry.id() == destination.id; });
    });
    if (written) refreshLight();
}
