// The overview page's texts and states, derived from the model at drawing
// time: the permission banner, the three summary cards, the list of the
// largest suggestions and the disk warning. Pure; the page only lays them out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "clean/SuggestionTypes.hpp"
#include "model/AppModel.hpp"
#include "scan/Scanner.hpp"
#include "scan/Volumes.hpp"

/// What the overview reads of the model. Pointers stay valid until the model
/// next changes.
struct OverviewFacts {
    bool fullDiskAccess = true;
    const VolumeInfo* rootVolume = nullptr;
    const ScanResult* scan = nullptr;
    bool isScanning = false;
    std::optional<ScanProgress> scanProgress;
    const SuggestionReport* report = nullptr;
    bool isAnalyzing = false;
    /// The names of the available destinations, in the model's order.
    std::vector<std::string> destinations;
    /// When the newest backup in the history ended.
    std::optional<Date> lastBackup;
    size_t plans = 0;
    Date now;

    /// The facts of `model` at `now`.
    static OverviewFacts of(const AppModel& model, Date now);
};

/// One of the three summary cards below the disk card.
struct SummaryCard {
    std::string figure;
    /// The figure in the secondary colour (nothing known yet).
    bool dim = false;
    /// The plain secondary line, if the card has one.
    std::optional<std::string> line;
    std::string button;
    bool enabled = true;
};

/// The reclaim card's line: `lead`, then `safe` in bold accent, then `tail`.
struct SafeLine {
    std::string lead;
    std::string safe;
    std::string tail;
};

namespace OverviewCards {
/// The read-permission banner shows while access is missing.
bool showsPermissionBanner(const OverviewFacts& facts);

/// Reclaimable space: the report's total, or "分析中…"/"—" dim without one;
/// its button counts the suggestions and needs a report.
SummaryCard reclaim(const OverviewFacts& facts);
/// "其中 <safe> 可放心清理", only with a report that has safe items.
std::optional<SafeLine> safeLine(const OverviewFacts& facts);

/// The home-folder card's three states, tried in this order.
enum class ScanState { scanning, none, scanned };
ScanState scanState(const OverviewFacts& facts);
/// Scanning: bytes so far and "已扫描 %@ 个文件" (the page puts a spinner
/// before it), "停止". None: dim "—", "开始扫描". Scanned: the home's size,
/// files and age, "查看空间分析".
SummaryCard scan(const OverviewFacts& facts);

/// Cloud backup: the count of available destinations or dim "未连接"; the
/// last backup's age, else the destinations' names, else a hint; the plans.
SummaryCard backup(const OverviewFacts& facts);

/// How many suggestions the top list shows: the first five at most; 0
/// without a report, and then the notes are left out too.
size_t topCount(const OverviewFacts& facts);

/// "磁盘已用 %@%%。…" from 90 % used, else none.
std::optional<std::string> diskWarning(const VolumeInfo& volume);
/// A percentage as a number shows by default: at most one decimal, none when whole ("90", "92.5").
std::string percentText(double value);
}  // namespace OverviewCards
