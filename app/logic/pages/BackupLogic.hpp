// What the backup page and its add-plan sheet show, decided over plain values
// so every choice can be checked without widgets.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup/Backup.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"

namespace BackupPageLogic {
/// The running key of a run of every plan.
inline const std::string allPlansKey = "all";
/// How many history reports the page lists (the newest).
inline constexpr size_t historyLimit = 12;
/// Destination cards are at least this wide, this far apart.
inline constexpr double minimumCardWidth = 296;
inline constexpr double gridSpacing = 12;

/// The bar's fill: 0 when the total is under one byte, else done / total, at most 1.
double progressFraction(const BackupProgress& progress);
/// "%@ / %@ 个文件 · %@ / %@": grouped file counts, formatted byte counts.
std::string progressCounts(const BackupProgress& progress);
/// As many columns of at least the minimum card width as fit in `width`; at least one.
int gridColumns(double width);

/// The symbol of a destination kind.
std::string kindSymbol(DestinationKind kind);
/// The folder, abbreviated; else the rclone remote as it is; else empty.
std::string location(const BackupDestination& destination);

/// The name of the plan's destination among all destinations, else its id.
std::string destinationLabel(const BackupPlan& plan, const std::vector<BackupDestination>& destinations);
/// A plan's last-run line: the time ago, " · ", then the summary, else the
/// status, else nothing; `ok` only for the status "ok".
struct LastRunLine {
    std::string text;
    bool ok = false;
};
/// None for a plan that never ran ("尚未运行"). The summary is rendered in
/// the reading language from the run's entry in `history` when it is there;
/// otherwise the plan's stored text (written in the language of its run).
std::optional<LastRunLine> lastRunLine(const BackupPlan& plan, Date now, const std::vector<BackupReport>& history = {});
/// A plan row shows progress while it runs alone or all plans run.
bool planIsRunning(const std::optional<std::string>& runningBackup, const std::string& planId);
/// "Back up all" is offered from two plans on.
bool offersRunAll(size_t planCount);
/// The empty plan list's text, localised: prepare a destination first, or add a plan.
std::string emptyPlansText(bool hasAvailableDestinations);

/// A history target can be revealed when it is a local folder, not an rclone remote.
bool revealable(const std::string& target);
}  // namespace BackupPageLogic

/// The add-plan sheet's state: the chosen folder (the sheet is open exactly
/// while it is set) and the picked destination id, which outlives the sheet.
struct AddPlanState {
    std::optional<std::string> newSource;
    std::string newDestination;

    bool isOpen() const { return newSource.has_value(); }
    /// The folder chooser's answer: none changes nothing; a folder selects the
    /// first available destination (or none) and then opens the sheet.
    void chose(const std::optional<std::string>& folder, const std::vector<BackupDestination>& available);
    void select(const std::string& destinationId) { newDestination = destinationId; }
    /// The row of the picked destination; none for a stale or empty id.
    std::optional<size_t> selectedRow(const std::vector<BackupDestination>& available) const;
    /// "位置:%@" of where the backup would land; none without a folder or a matching row.
    std::optional<std::string> locationLine(const std::vector<BackupDestination>& available) const;
    bool canAdd() const { return !newDestination.empty(); }
    /// Closes the sheet, returning the (source, destination id) to save when both are set.
    std::optional<std::pair<std::string, std::string>> add();
    void cancel() { newSource.reset(); }
};
