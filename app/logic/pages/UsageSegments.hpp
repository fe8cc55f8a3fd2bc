// Where the used space of the startup disk went: the disk card's segments and
// the widths of its capacity bar. Recomputed on every redraw, so both stay cheap.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/Scanner.hpp"
#include "scan/Volumes.hpp"
#include "theme/Theme.hpp"

struct UsageSegment {
    std::string id;
    std::string label;
    int64_t bytes = 0;
    /// The folder the legend opens; none for "used" and "system".
    std::optional<std::string> path;
    Swatch swatch;
    bool hatched = false;
    bool operator==(const UsageSegment&) const = default;
};

namespace UsageSegments {
/// The neutral grey of "used", "other" and "system": paper's proportions brought down to 0.42.
extern const Swatch neutral;

/// The volume's used space split by the top level of the home scan, in display
/// order: the home's shares largest first (ties in fixed order), "system" last.
/// Without a scan, one "used" segment.
std::vector<UsageSegment> segments(const VolumeInfo& volume, const ScanResult* scan);

/// One width per segment for a bar `width` wide with `gap` between items; each
/// at least 5, so the row may end up wider than the bar.
std::vector<double> barWidths(const std::vector<UsageSegment>& segments, int64_t total, double width, double gap);
/// What is left of the bar for the free area; negative when the minimum widths overflow it.
double freeWidth(const std::vector<double>& widths, double width, double gap);

/// Whether a segment of this width carries its label inside the bar.
bool showsLabel(const UsageSegment& segment, double width);
}  // namespace UsageSegments
