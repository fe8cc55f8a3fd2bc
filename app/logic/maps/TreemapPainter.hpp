// What the treemap paints for a cell, as data: the rounded box, its fill and
// outline, and the label runs with their clip. A Qt view paints these as given.
#pragma once

#include <optional>
#include <vector>

#include "maps/MapText.hpp"
#include "maps/Treemap.hpp"

struct TreemapDrawing {
    Rect rect;
    double radius = 11;             ///< continuous corners: 11 at level 0, 6 nested
    std::optional<Swatch> fill;     ///< opaque; none for the outline-only hover of a framed cell
    std::optional<Swatch> outline;  ///< stroked `outlineWidth` wide along the shape
    double outlineWidth = 1.6;
    Rect labelClip;              ///< the label's runs are clipped to this
    std::vector<MapText> label;  ///< empty when the cell is too small or only outlined
};

namespace TreemapPainter {
/// The resting fill: paper tone 0.13 for a framed cell, the rank's map colour
/// at level 0, times 0.38 for a nested remainder, else darkened by shade × 0.42.
Swatch swatch(const TreemapCell& cell);
/// One cell at rest (`highlighted` false) or hovered: the lifted outline over
/// the cell's ground colour (a folder or a nested cell) or a dark fill (a
/// top-level file or remainder). The label fits the cell's room across, cut
/// by grapheme cluster with "…" after its size was left out.
TreemapDrawing draw(const TreemapCell& cell, bool highlighted, const TextMeasure& measure);
/// The hover layer of a cell: only the outline for a framed cell, so its
/// nested cells stay visible; otherwise draw(cell, true).
TreemapDrawing highlight(const TreemapCell& cell, const TextMeasure& measure);
}  // namespace TreemapPainter
