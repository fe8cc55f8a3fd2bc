#include "maps/TreemapPainter.hpp"

#include <algorithm>

#include "Support.hpp"

namespace {
const MapFont nameStyle{11, MapFont::Weight::bold, false};
const MapFont sizeStyle{10, MapFont::Weight::regular, true};

// A label needs this much room across, from its anchor to the clip's right
// edge, for at least two clusters of a name and "…" (the Voronoi map's rule).
constexpr double minimumRoom = 30;

// The label runs: one line (name, two spaces, size) for a framed or low cell,
// two lines otherwise; the size in the ink at 0.65. What does not fit the
// room across gives way in order: the size first, then the name's end ("…");
// a cell whose room holds no name gets no label.
std::vector<MapText> labelRuns(const TreemapCell& cell, const Swatch& fill, const TextMeasure& measure) {
    const double room = cell.rect.width() - 12;
    if (room < minimumRoom || !(cell.rect.height() > 20)) return {};
    const std::optional<std::string> name = MapTexts::fitted(cell.label, room, nameStyle, measure, true);
    if (!name) return {};
    const ThemeColor& ink = Theme::labelColor(fill);
    const ThemeColor dim = MapTexts::faded(ink, 0.65);
    const Point anchor{cell.rect.minX() + 8, cell.rect.minY() + 5};
    const std::string size = Fmt::bytes(cell.bytes);
    if (!cell.framed && cell.rect.height() >= 40) {
        std::vector<MapText> runs{MapTexts::atTopLeft(*name, nameStyle, ink, anchor, measure)};
        if (!(measure(size, sizeStyle).width > room))
            runs.push_back(MapTexts::atTopLeft(size, sizeStyle, dim, {anchor.x, anchor.y + 15}, measure));
        return runs;
    }
    // One line: both runs share the baseline of the taller ascent.
    const TextBox nameBox = measure(*name, nameStyle);
    const std::string tail = "  " + size;
    const TextBox tailBox = measure(tail, sizeStyle);
    if (*name != cell.label || nameBox.width + tailBox.width > room)
        return {MapTexts::atTopLeft(*name, nameStyle, ink, anchor, measure)};
    const double baseline = anchor.y + std::max(nameBox.ascent, tailBox.ascent);
    return {{*name, nameStyle, ink, {anchor.x, baseline}},
            {tail, sizeStyle, dim, {anchor.x + nameBox.width, baseline}}};
}

// The fill of a hovered cell that is not framed. A folder or a nested cell
// shows its ground colour, the rank's undarkened map colour, as the Voronoi
// map lights a nested cell; only a top-level file or remainder, which has
// nothing inside, goes dark.
Swatch hoverFill(const TreemapCell& cell) {
    const bool hasInside = cell.node && cell.node->isDirectory;
    if (cell.level > 0 || hasInside) return MapItem::swatch(cell.rank);
    return MapColors::paperTone(0.045);
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
    const Swatch fill = highlighted && !cell.framed ? hoverFill(cell) : swatch(cell);
    drawing.fill = fill;
    if (highlighted) drawing.outline = MapColors::lifted(MapItem::swatch(cell.rank));
    const Rect& r = cell.rect;
    drawing.labelClip = Rect(r.minX() + 4, r.minY() + 2, r.width() - 8, r.height() - 4);
    drawing.label = labelRuns(cell, fill, measure);
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
