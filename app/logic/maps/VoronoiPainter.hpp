// What the Voronoi map paints, as data: rounded polygons with fills, strokes
// and fitted labels, in drawing order, under an optional clip. The view turns
// each polygon into a path with VoronoiMap::roundedPath and paints it as given.
#pragma once

#include <optional>
#include <vector>

#include "maps/MapText.hpp"
#include "maps/VoronoiMap.hpp"

/// One rounded polygon: fill, then stroke, then its label runs.
struct VoronoiShape {
    PointList polygon;
    double radius = 24;          ///< corner radius of the rounded path
    std::optional<Swatch> fill;  ///< opaque
    std::optional<Swatch> stroke;
    double strokeWidth = 0;
    std::vector<MapText> label;
};

struct VoronoiDrawing {
    /// Everything below is clipped to this polygon's rounded path (radius
    /// `clipRadius`); no clip when it is empty.
    PointList clip;
    double clipRadius = 24;
    std::vector<VoronoiShape> shapes;
};

namespace VoronoiPainter {
/// How a label's name size is chosen: from the room across (top-level cells:
/// 15 above 170, 13 above 90, else 11.5) or fixed at 10.5 (nested cells).
enum class LabelSize { byRoom, nested };

/// The fitted label of a cell: the name (bold), cut by grapheme cluster to n
/// clusters + "…" when too wide, and below it the size when the room allows
/// two lines. Empty when the cell is too small or the cut leaves 1 cluster or
/// fewer. `color` is the name's; the size text takes it at 0.72.
std::vector<MapText> label(const PointList& cell, Point center, const MapItem& item, LabelSize size,
                           const ThemeColor& color, const TextMeasure& measure);
/// A resting cell: its colour and its label in the contrasting ink.
VoronoiDrawing closed(const VoronoiBlob& blob, const TextMeasure& measure);
/// A hovered cell: with children, its colour showing only in the gaps between
/// dark nested cells with paper labels; without, a dark fill, a lifted
/// outline and its own label in paper.
VoronoiDrawing open(const VoronoiBlob& blob, const TextMeasure& measure);
/// A hovered nested cell lit in the blob's colour. `child` must index the
/// blob's children (VoronoiMap::focus ensures it).
VoronoiDrawing lit(const VoronoiBlob& blob, size_t child, const TextMeasure& measure);
}  // namespace VoronoiPainter
