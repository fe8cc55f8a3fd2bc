// Running a backup plan and recording its outcome in the plan.
#include "backup/Backup.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "config/PlaceRecords.hpp"
#include "text/Localization.hpp"

namespace PlanRuns {

namespace {

/// A source swapped for a link since the plan was added would back up
/// another folder into the same place, over the earlier backup of this one.
void checkSourceLeadsWhereItDid(const BackupPlan& plan) {
    auto whenAdded = PlaceRecords::planSourceWhenAdded(plan.id);
    if (!whenAdded) return;
    const std::string source = Paths::expandGiven(plan.source);
    const std::string now = PlaceRecords::resolvedPath(source);
    if (now != *whenAdded)
        throw OstrevaneError(L("备份计划的源 %@ 现在指向 %@,添加计划时它指向 %@。为免覆盖原来的备份,没有复制任何文件。",
                               DisplayText::path(source), DisplayText::path(now), DisplayText::path(*whenAdded)));
}

}  // namespace

PlanRun run(const BackupPlan& plan, bool dryRun, const DestinationResolver& resolve, const CancelTokenPtr& cancel,
            const BackupProgressHandler& progress) {
    PlanRun result;
    result.plan = plan;
    try {
        checkSourceLeadsWhereItDid(plan);
        BackupDestination destination = resolve(plan.destinationId);
        BackupReport report = BackupEngine::run(
            plan.source, destination, BackupOptions(dryRun, BackupOptions::defaultExcludes), cancel, progress);
        if (!dryRun) {
            ConfigStore::update([&](AppConfig& config) {
                for (auto& stored : config.plans) {
                    if (stored.id != plan.id) continue;
                    stored.lastRun = report.finishedAt;
                    stored.lastStatus = BackupStatuses::rawValue(report.status);
                    stored.lastSummary = report.summary;
                    break;
                }
            });
        }
        result.report = std::move(report);
    } catch (const std::exception& error) {
        std::string text = error.what();
        if (!dryRun) {
            ConfigStore::update([&](AppConfig& config) {
                for (auto& stored : config.plans) {
                    if (stored.id != plan.id) continue;
                    stored.lastRun = std::chrono::system_clock::now();
                    stored.lastStatus = BackupStatuses::planRunFailed;
                    stored.lastSummary = text;
                    break;
                }
            });
        }
        result.error = text;
    }
    return result;
}

}  // namespace PlanRuns
