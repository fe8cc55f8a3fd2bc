// The two-level weighted Voronoi map of a folder: rounded cells of the
// engine's Voronoi treemap, nested cells inside large folder cells, and the
// hover, motion and tap rules, all as plain values.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "geometry/Geometry.hpp"
#include "maps/MapHover.hpp"
#include "maps/MapItem.hpp"
#include "maps/MapMotion.hpp"

struct VoronoiChild {
    MapItem item;
    PointList cell;  ///< convex, already shrunk by the gap; view coordinates
    Point center;    ///< area centroid of `cell`
};

struct VoronoiBlob {
    MapItem item;
    PointList cell;  ///< convex, already shrunk by the gap; view coordinates
    Point center;    ///< area centroid of `cell`
    /// Nested cells in split order; empty when the cell is not subdivided.
    std::vector<VoronoiChild> children;
};

/// The overlays a hover asks for, with indices checked against the blobs.
struct VoronoiFocus {
    size_t blob = 0;
    std::optional<size_t> child;  ///< set only when within the blob's children
};

namespace VoronoiMap {
/// The layout for a view of `size`: empty when either side is 120 points or
/// less; otherwise the folder's items (split at 24) in the view less 12
/// points, each cell shrunk by 3.5, and folder cells of more than 11000
/// square points subdivided (split at 9, at least 2 items) inside a further
/// 5.5 inset, nested cells shrunk by 1.8. Degenerate cells are left out.
std::vector<VoronoiBlob> build(const NodeRef& node, Size size);
/// The hover for a pointer at `point`: the first blob containing it and the
/// first of its children containing it. In a gap between children of the
/// current blob, and in the gaps between blobs, `current` is kept.
std::optional<MapHover> hit(Point point, const std::vector<VoronoiBlob>& blobs, const std::optional<MapHover>& current);
/// The animation for a hover change; none when nothing changed. `swap` when
/// the hover begins, ends or changes blob, `step` when only the child changed.
std::optional<MapMotion::Animation> motion(const std::optional<MapHover>& current, const std::optional<MapHover>& next);
/// The hover checked against `blobs` (which may be a newer layout than the
/// one it was taken on): none when its blob is out of range; its child only when in range.
std::optional<VoronoiFocus> focus(const std::vector<VoronoiBlob>& blobs, const std::optional<MapHover>& hover);
/// The item the pill names: the focused child's, else the blob's.
const MapItem& pillItem(const std::vector<VoronoiBlob>& blobs, const VoronoiFocus& focus);
/// The folder a single tap at `point` opens: a nested folder, else the blob's
/// folder (so a nested file opens the folder holding it); null for a
/// top-level file, the remainder item or a gap.
NodeRef tap(Point point, const std::vector<VoronoiBlob>& blobs);
}  // namespace VoronoiMap
