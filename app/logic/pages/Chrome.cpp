#include "pages/Chrome.hpp"

#include "text/Localization.hpp"

namespace Chrome {
AppModel::Section shown(const std::optional<AppModel::Section>& section) {
    return section.value_or(AppModel::Section::overview);
}

std::optional<std::string> badge(AppModel::Section section, const std::optional<SuggestionReport>& report,
                                 const std::optional<std::string>& runningBackup) {
    switch (section) {
    case AppModel::Section::suggestions:
        if (report && report->totalReclaimableBytes > 0) return report->totalReclaimable;
        return std::nullopt;
    case AppModel::Section::backup:
        if (runningBackup) return L("进行中");
        return std::nullopt;
    default: return std::nullopt;
    }
}

ThemeColor footerTint(double usedPercent) {
    if (usedPercent >= 90) return Theme::danger;
    if (usedPercent >= 80) return Theme::warn;
    return Theme::accent;
}

bool lowOnSpace(double usedPercent) { return usedPercent >= 90; }

std::string footerLine(const VolumeInfo& volume) { return L("可用 %@,共 %@", volume.available, volume.total); }

HeaderControls headerControls(bool isScanning, const ScanResult* scan, Date now) {
    if (isScanning) return {true, std::nullopt, false};
    HeaderControls controls{false, std::nullopt, true};
    if (scan) controls.age = L("扫描于%@", Fmt::ago(scan->scannedAt, now));
    return controls;
}
}  // namespace Chrome
