// Everything the terrain view draws, as plain screen geometry: the earth
// block, the stacked terraces with their cliffs and contour lines, the trees,
// the summit labels and the hover highlight. Text is measured through an
// injected function, so placement is the same with or without a display.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "geometry/Geometry.hpp"
#include "maps/MapText.hpp"
#include "maps/TerrainModel.hpp"
#include "maps/TerrainProjection.hpp"
#include "theme/Theme.hpp"

struct TerrainSegment {
    Point a, b;
};

/// The dark earth under sea level, in screen points.
struct TerrainBlock {
    PointList leftFace, rightFace;
    /// Open polylines across both faces.
    std::vector<PointList> strata;
    /// Open polyline around the bottom of the block.
    PointList outline;
    /// The front edge from sea level down.
    TerrainSegment frontEdge;
    /// The sea-level diamond, closed.
    PointList sea;
};

/// The contour lines of one owner on one level.
struct TerrainContour {
    int owner = -1;
    std::vector<TerrainSegment> segments;
    ThemeColor color;
};

/// One contour level: its shape drawn once per cliff drop, then on top.
struct TerrainTerrace {
    /// Closed loops to fill with the non-zero rule (holes turn the other way).
    std::vector<PointList> shape;
    /// Downward screen offsets of the cliff copies, largest first.
    std::vector<double> cliffDrops;
    /// White level of the terrace top.
    double grey = 0;
    std::vector<TerrainContour> contours;
};

struct TerrainTreeGlyph {
    Rect trunk;
    /// Three closed triangles, bottom tier first.
    std::vector<PointList> crowns;
};

struct TerrainLabel {
    int region = -1;
    /// The summit on its terrace.
    Point anchor;
    /// The two text lines.
    Rect box;
    std::string name, size;
    double nameHeight = 0;
    /// Colour of the dot on the summit.
    ThemeColor dot;
};

/// The resting drawing of a model in a view of one size.
struct TerrainPicture {
    IsoProjection projection;
    TerrainBlock block;
    std::vector<TerrainTerrace> terraces;
    std::vector<TerrainTreeGlyph> trees;
    std::vector<TerrainLabel> labels;
};

/// The hovered region's visible contour lines and its label on a plate.
struct TerrainHighlight {
    std::vector<TerrainSegment> lines;
    ThemeColor color;
    TerrainLabel label;
    Rect plate;
};

namespace TerrainScene {
/// The two text styles of a summit label: the name (11 semibold) and the size
/// (9.5, monospaced digits).
extern const MapFont nameFont;
extern const MapFont sizeFont;

/// The block with its faces, strata, outline and sea level.
TerrainBlock block(const IsoProjection& projection);
/// One terrace per level, lowest first.
std::vector<TerrainTerrace> terraces(const TerrainModel& model, const IsoProjection& projection);
/// A tree of height `size` standing at screen point `at`.
TerrainTreeGlyph tree(Point at, double size);
/// The trees not hidden behind higher terrain, back to front.
std::vector<TerrainTreeGlyph> trees(const TerrainModel& model, const IsoProjection& projection);
/// The region's palette colour lifted toward white by `lift` (clamped to
/// 0...1); the paper colour at 0.6 for no region, no rank or a rank beyond the palette.
ThemeColor lineColor(const TerrainModel& model, int region, double lift);
/// The label of `region` above its summit (the region must exist).
TerrainLabel label(int region, const TerrainModel& model, const IsoProjection& projection, const TextMeasure& measure);
/// The label moved the least so that its hover plate (the box enlarged by 5
/// and 4 points) lies inside `canvas`, 2 points in from its edges; the anchor stays.
TerrainLabel keptInside(TerrainLabel label, const Rect& canvas);
/// Labels of the (at most 12) largest regions with a node, largest first,
/// each kept inside `canvas`, leaving out any that would crowd an earlier
/// one. A region whose summit is hidden behind higher terrain is labelled at
/// its highest visible point instead; one with no visible point is left out.
std::vector<TerrainLabel> labels(const TerrainModel& model, const IsoProjection& projection, const TextMeasure& measure,
                                 const Rect& canvas);
/// The trees that no label box covers: labels are drawn over the terrain's icons.
std::vector<TerrainTreeGlyph> clearOf(std::vector<TerrainTreeGlyph> trees, const std::vector<TerrainLabel>& labels);
/// The whole resting drawing for a view of `size`.
TerrainPicture picture(const TerrainModel& model, Size size, const TextMeasure& measure);
/// The highlight of `region`, its label kept inside `canvas`; none when the
/// index is outside the regions.
std::optional<TerrainHighlight> highlight(const TerrainModel& model, const IsoProjection& projection, int region,
                                          const TextMeasure& measure, const Rect& canvas);
/// The region whose terrain is under the screen point; none over the sea or
/// off the island.
std::optional<int> regionAt(const TerrainModel& model, const IsoProjection& projection, Point screen);
/// The folder a tap at the screen point opens: a region's folder, never a
/// file or the remainder. Points into the model.
const FileNode* openTarget(const TerrainModel& model, const IsoProjection& projection, Point screen);
/// How long ago `node` changed, for the hover pill; none without a node or date.
std::optional<std::string> idleText(const FileNode* node, Date now);
}  // namespace TerrainScene
