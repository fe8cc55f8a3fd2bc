#include "pages/OverviewCards.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "pages/NumberText.hpp"
#include "text/Localization.hpp"

namespace {
/// Shown verbatim where nothing is known.
const std::string dash = "—";
}  // namespace

OverviewFacts OverviewFacts::of(const AppModel& model, Date now) {
    OverviewFacts facts;
    facts.fullDiskAccess = model.fullDiskAccess();
    facts.rootVolume = model.rootVolume();
    facts.scan = model.scan().get();
    facts.isScanning = model.isScanning();
    facts.scanProgress = model.scanProgress();
    facts.report = model.report() ? &*model.report() : nullptr;
    facts.isAnalyzing = model.isAnalyzing();
    for (const BackupDestination& destination : model.availableDestinations())
        facts.destinations.push_back(destination.name);
    // The history is kept newest first.
    if (!model.history().empty()) facts.lastBackup = model.history().front().finishedAt;
    facts.plans = model.plans().size();
    facts.now = now;
    return facts;
}

namespace OverviewCards {
bool showsPermissionBanner(const OverviewFacts& facts) { return !facts.fullDiskAccess; }

SummaryCard reclaim(const OverviewFacts& facts) {
    SummaryCard card;
    // Without a report there is no count to give yet, and a report without
    // suggestions leaves nothing to see: neither gives a count or a button.
    const bool anySuggestion = facts.report && !facts.report->suggestions.empty();
    card.button = anySuggestion ? L("查看 %@ 条建议", facts.report->suggestions.size()) : L("查看建议");
    card.enabled = anySuggestion;
    if (facts.report) {
        card.figure = facts.report->totalReclaimable;
    } else {
        card.figure = facts.isScanning || facts.isAnalyzing ? L("分析中…") : dash;
        card.dim = true;
    }
    return card;
}

std::optional<SafeLine> safeLine(const OverviewFacts& facts) {
    if (!facts.report || facts.report->safeReclaimableBytes <= 0) return std::nullopt;
    return SafeLine{L("其中 "), facts.report->safeReclaimable, L(" 可放心清理")};
}

ScanState scanState(const OverviewFacts& facts) {
    if (facts.isScanning) return ScanState::scanning;
    return facts.scan ? ScanState::scanned : ScanState::none;
}

SummaryCard scan(const OverviewFacts& facts) {
    switch (scanState(facts)) {
    case ScanState::scanning: {
        const ScanProgress progress = facts.scanProgress.value_or(ScanProgress{});
        return {Fmt::bytes(progress.bytes), false, L("已扫描 %@ 个文件", NumberText::grouped(progress.files)),
                L("停止")};
    }
    case ScanState::none: return {dash, true, std::nullopt, L("开始扫描")};
    case ScanState::scanned: break;
    }
    const ScanResult& scan = *facts.scan;
    return {Fmt::bytes(scan.root.size), false,
            L("%@ 个文件 · 扫描于%@", NumberText::grouped(scan.fileCount), Fmt::ago(scan.scannedAt, facts.now)),
            L("查看空间分析")};
}

SummaryCard backup(const OverviewFacts& facts) {
    SummaryCard card;
    const size_t count = facts.destinations.size();
    if (count > 0) {
        card.figure = L("%@ 个目的地", count);
    } else {
        card.figure = L("未连接");
        card.dim = true;
    }
    if (facts.lastBackup) {
        card.line = L("上次备份:%@", Fmt::ago(*facts.lastBackup, facts.now));
    } else if (count > 0) {
        std::string names;
        for (const std::string& name : facts.destinations) names += (names.empty() ? "" : L("、")) + name;
        card.line = names;
    } else {
        card.line = L("登录网盘客户端后自动识别");
    }
    card.button = facts.plans > 0 ? L("管理 %@ 个备份计划", facts.plans) : L("设置备份");
    return card;
}

size_t topCount(const OverviewFacts& facts) {
    return facts.report ? std::min<size_t>(5, facts.report->suggestions.size()) : 0;
}

std::optional<std::string> diskWarning(const VolumeInfo& volume) {
    if (volume.usedPercent < 90) return std::nullopt;
    return L("磁盘已用 %@%%。系统需要约 10%% 的空闲空间才能顺畅运行。", percentText(volume.usedPercent));
}

std::string percentText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string shown = text;
    if (shown.size() > 2 && shown.compare(shown.size() - 2, 2, ".0") == 0) shown.resize(shown.size() - 2);
    return shown;
}
}  // namespace OverviewCards
