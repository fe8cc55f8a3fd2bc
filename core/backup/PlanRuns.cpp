// Running a backup plan and recording its outcome in the plan.
#include "Config.hpp"
#include "Destinations.hpp"
#include "backup/Backup.hpp"

namespace PlanRuns {

PlanRun run(const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    PlanRun result;
    result.plan = plan;
    try {
        BackupDestination destination = Destinations::resolve(plan.destinationId);
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
