#include "pages/BackupLogic.hpp"

#include <algorithm>
#include <cmath>

#include "pages/GridColumns.hpp"
#include "pages/NumberText.hpp"
#include "text/Localization.hpp"

namespace BackupPageLogic {

double progressFraction(const BackupProgress& progress) {
    if (progress.bytesTotal < 1) return 0;
    return std::min(1.0, double(progress.bytesDone) / double(progress.bytesTotal));
}

std::string progressCounts(const BackupProgress& progress) {
    return L("%@ / %@ 个文件 · %@ / %@", NumberText::grouped(progress.filesDone),
             NumberText::grouped(progress.filesTotal), Fmt::bytes(progress.bytesDone), Fmt::bytes(progress.bytesTotal));
}

int gridColumns(double width) { return GridColumns::fitting(width, minimumCardWidth, gridSpacing); }

std::string kindSymbol(DestinationKind kind) {
    switch (kind) {
    case DestinationKind::icloud: return "icloud.fill";
    case DestinationKind::googleDrive: return "triangle.fill";
    case DestinationKind::dropbox: return "shippingbox.fill";
    case DestinationKind::oneDrive: return "cloud.fill";
    case DestinationKind::box: return "cube.box.fill";
    case DestinationKind::cloudFolder: return "arrow.triangle.2.circlepath.icloud.fill";
    case DestinationKind::rclone: return "network";
    case DestinationKind::folder: return "externaldrive.fill";
    }
    return "externaldrive.fill";
}

std::string location(const BackupDestination& destination) {
    if (destination.path) return Paths::abbreviate(*destination.path);
    return destination.rcloneRemote.value_or("");
}

std::string destinationLabel(const BackupPlan& plan, const std::vector<BackupDestination>& destinations) {
    const auto found = std::find_if(destinations.begin(), destinations.end(),
                                    [&](const BackupDestination& d) { return d.id == plan.destinationId; });
    return found == destinations.end() ? plan.destinationId : found->name;
}

std::optional<LastRunLine> lastRunLine(const BackupPlan& plan, Date now, const std::vector<BackupReport>& history) {
    if (!plan.lastRun) return std::nullopt;
    std::string tail = plan.lastSummary ? *plan.lastSummary : plan.lastStatus.value_or("");
    const std::string source = Paths::expand(plan.source);
    const auto run = std::find_if(history.begin(), history.end(), [&](const BackupReport& report) {
        return report.finishedAt == *plan.lastRun && report.source == source &&
               plan.lastStatus == BackupStatuses::rawValue(report.status);
    });
    if (run != history.end()) tail = summaryText(*run);
    const bool ok = plan.lastStatus == BackupStatuses::rawValue(BackupStatus::ok);
    return LastRunLine{Fmt::ago(*plan.lastRun, now) + " · " + tail, ok};
}

bool planIsRunning(const std::optional<std::string>& runningBackup, const std::string& planId) {
    return runningBackup && (*runningBackup == planId || *runningBackup == allPlansKey);
}

bool offersRunAll(size_t planCount) { return planCount >= 2; }

std::string emptyPlansText(bool hasAvailableDestinations) {
    return hasAvailableDestinations ? L("还没有备份计划。点“添加备份…”选择要备份的文件夹。")
                                    : L("先准备一个备份目的地,再添加要备份的文件夹。");
}

bool revealable(const std::string& target) { return target.find(':') == std::string::npos || target.starts_with("/"); }

}  // namespace BackupPageLogic

void AddPlanState::chose(const std::optional<std::string>& folder, const std::vector<BackupDestination>& available) {
    if (!folder) return;
    newDestination = available.empty() ? std::string() : available.front().id;
    newSource = folder;
}

std::optional<size_t> AddPlanState::selectedRow(const std::vector<BackupDestination>& available) const {
    for (size_t row = 0; row < available.size(); ++row) {
        if (available[row].id == newDestination) return row;
    }
    return std::nullopt;
}

std::optional<std::string> AddPlanState::locationLine(const std::vector<BackupDestination>& available) const {
    const auto row = selectedRow(available);
    if (!row || !newSource) return std::nullopt;
    return L("位置:%@", Paths::abbreviate(BackupEngine::targetDescription(*newSource, available[*row])));
}

std::optional<std::pair<std::string, std::string>> AddPlanState::add() {
    std::optional<std::pair<std::string, std::string>> plan;
    if (newSource && !newDestination.empty()) plan = std::make_pair(*newSource, newDestination);
    newSource.reset();
    return plan;
}
