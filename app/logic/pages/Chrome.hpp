// What the window's chrome shows around every page: the sidebar's badges and
// disk footer, and the page header's scan controls. Pure, so the rules are
// tested without widgets.
#pragma once

#include <optional>
#include <string>

#include "clean/SuggestionTypes.hpp"
#include "model/AppModel.hpp"
#include "scan/Scanner.hpp"
#include "theme/Theme.hpp"

namespace Chrome {
/// The section on screen: a model without a section shows the overview.
AppModel::Section shown(const std::optional<AppModel::Section>& section);

/// The text beside a sidebar row, if any: the report's formatted total for
/// suggestions when that total is above 0 (whatever the risks), "进行中" for
/// backup while `runningBackup` is set; never one for the other sections.
std::optional<std::string> badge(AppModel::Section section, const std::optional<SuggestionReport>& report,
                                 const std::optional<std::string>& runningBackup);

/// The disk footer's bar colour: danger from 90 % used, warn from 80 %, else accent.
ThemeColor footerTint(double usedPercent);
/// Whether the footer adds "空间不足" under the bar: from 90 % used.
bool lowOnSpace(double usedPercent);
/// "可用 %@,共 %@" with the volume's available and total texts.
std::string footerLine(const VolumeInfo& volume);

/// The page header's controls to the right of the title.
struct HeaderControls {
    /// A spinner and "停止扫描" in place of everything else.
    bool scanning = false;
    /// "扫描于%@" with the scan's age; only with a scan and while none runs.
    std::optional<std::string> age;
    /// The "重新扫描" button: whenever no scan runs.
    bool rescan = false;
};
/// The controls for a model state; `scan` may be null.
HeaderControls headerControls(bool isScanning, const ScanResult* scan, Date now);
}  // namespace Chrome
