#include "maps/TreemapPainter.hpp"

#include <algorithm>

#include "Support.hpp"

namespace {
const MapFont nameStyle{11, MapFont::Weight::bold, false};
const MapFont sizeStyle{10, MapFont::Weight::regular, true};

// The label runs: one line (name, two spaces, size) for a framed or low cell,
// two lines otherwise; the size in the ink at 0.65.
std::vector<MapText> labelRuns(const TreemapCell& cell, const Swatch& fill, const TextMeasure& measure) {
    const ThemeColor& ink = Theme::labelColor(fill);
    const ThemeColor dim = MapTexts::faded(ink, 0.65);
    const Point anchor{cell.rect.minX() + 8, cell.rect.minY() + 5};
    const std::string size = Fmt::bytes(cell.bytes);
    if (!cell.framed && cell.rect.height() >= 40)
        return {MapTexts::atTopLeft(cell.label, nameStyle, ink, anchor, measure),
                MapTexts::atTopLeft(size, sizeStyle, dim, {anchor.x, anchor.y + 15}, measure)};
    // One line: both runs share the baseline of the taller ascent.
    const TextBox name = measure(cell.label, nameStyle);
    const std::string tail = "  " + size;
    const double baseline = anchor.y + std::max(name.ascent, measure(tail, sizeStyle).ascent);
    return {{cell.label, nameStyle, ink, {anchor.x, baseline}}, {tail, sizeStyle, dim, {anchor.x + name.width, baseline}}};
}
}  // namespace

namespace TreemapPainter {
Swatch swatch(const TreemapCell& cell) {
    if (cell.framed) return MapColors::paperTone(0.13);
    const Swatch base = MapItem::swatch(cell.rank);
    if (cell.level == 0) return base;
    if (cell.remainder) return MapColors::scaled(base, 0.38);
    const double x = cell.shade * 0.42;
    return MapColors::scaled(base, x >= 0 ? 1 - std::min(x, 1.0) : 1);
}

TreemapDrawing draw(const TreemapCell& cell, bool highlighted, const TextMeasure& measure) {
    TreemapDrawing drawing;
    drawing.rect = cell.rect;
    drawing.radius = cell.level == 0 ? 11 : 6;
    const Swatch fill = highlighted && !cell.framed ? MapColors::paperTone(0.045) : swatch(cell);
    drawing.fill = fill;
    if (highlighted) drawing.outline = MapColors::lifted(MapItem::swatch(cell.rank));
    const Rect& r = cell.rect;
    drawing.labelClip = Rect(r.minX() + 4, r.minY() + 2, r.width() - 8, r.height() - 4);
    if (r.width() > 54 && r.height() > 20) drawing.label = labelRuns(cell, fill, measure);
    return drawing;
}

TreemapDrawing highlight(const TreemapCell& cell, const TextMeasure& measure) {
    if (!cell.framed) return draw(cell, true, measure);
    TreemapDrawing drawing;
    drawing.rect = cell.rect;
    drawing.radius = cell.level == 0 ? 11 : 6;
    drawing.outline = MapColors::lifted(MapItem::swatch(cell.rank));
    return drawing;
}
}  // namespace TreemapPainter
