// A folder as an island: its largest items become mountains whose heights
// follow their sizes, large folders split into ridges for their own largest
// children, and land that nobody changed for half a year grows trees. Built
// once per folder and size over a fixed 640 by 640 world sampled on a
// 129 by 129 grid, independent of any view; views compare models by identity.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geometry/Geometry.hpp"
#include "maps/MapItem.hpp"
#include "scan/Scanner.hpp"

/// A convex polygon prepared for signed-distance tests.
struct ConvexShape {
    PointList polygon;
    /// Per edge longer than 1e-9: the unit inward normal and its offset.
    std::vector<double> nx, ny, offset;

    ConvexShape() = default;
    /// Accepts either orientation.
    explicit ConvexShape(PointList polygon);
    /// Positive inside (the distance to the nearest edge), negative outside;
    /// -1 for a shape without edges.
    double distance(Point point) const;
};

/// Whether nobody changed `node` for at least 180 whole days before `now`;
/// false for no node or no modified date.
bool isStale(const FileNode* node, Date now);

class TerrainModel {
public:
    static constexpr int gridSize = 129;
    static constexpr int sampleCount = gridSize * gridSize;
    static constexpr double world = 640;
    static constexpr double spacing = 5;
    static constexpr double levelStep = 12;
    static constexpr int maxLevels = 17;

    struct Region {
        MapItem item;
        ConvexShape shape;
        /// World position of the region's highest sample.
        Point summit;
    };
    struct Line {
        Point a, b;
        /// Region index, or -1 for sea.
        int owner = -1;
    };
    struct Level {
        /// The area at or above the level's height, as world polygons.
        std::vector<PointList> fills;
        std::vector<Line> lines;
    };
    struct Tree {
        Point position;
        double size = 0;
    };

    /// One region per kept top-level item, in item order.
    std::vector<Region> regions;
    /// Level k (from 1) lies at height 12 k; consecutive from level 1.
    std::vector<Level> levels;
    /// Sorted by x + y, back to front.
    std::vector<Tree> trees;
    /// Never negative; row by row, index = row * 129 + col.
    std::vector<double> heights;
    /// Region index per sample, -1 for sea.
    std::vector<int> owners;

    /// The whole terrain of `node` at time `now`; a null node is all sea.
    TerrainModel(const std::shared_ptr<const FileNode>& node, Date now);
    /// A terrain over a relief made elsewhere: contour levels are found, no
    /// trees are grown. Throws std::invalid_argument unless `heights` and
    /// `owners` hold 16641 samples each.
    TerrainModel(std::vector<double> heights, std::vector<int> owners, std::vector<Region> regions);

    /// The peak height of an item of `bytes` beside the largest of `maxBytes`:
    /// from 18 for the smallest up to 186 for the largest, in half-level steps.
    static double peak(int64_t bytes, int64_t maxBytes);
    /// Bilinear height at a world point; outside the world the border heights.
    double height(Point point) const;
    /// The terrace a point lies on: its height floored to a multiple of 12.
    double terrace(Point point) const;
    /// The region of the nearest sample (clamped to the border); none over the sea.
    std::optional<int> owner(Point point) const;
};

namespace TerrainContours {
/// The contour levels of a relief by marching squares: level k at 12 k for
/// k = 1...17, stopping before the first level without any fill.
std::vector<TerrainModel::Level> levels(const std::vector<double>& heights, const std::vector<int>& owners);
/// One level at height `height`: full cells merged into one rectangle per
/// run along a row, partial cells as polygons, crossings paired into lines.
TerrainModel::Level level(const std::vector<double>& heights, const std::vector<int>& owners, double height);
/// The outline of the area at or above `height`: closed loops along the
/// contour cuts and the world's border, all turning the same way (holes the
/// other way), covering exactly what the level's fills cover. Drawing these
/// instead of thousands of cell polygons keeps a terrace cheap to fill.
std::vector<PointList> outline(const std::vector<double>& heights, double height);
}  // namespace TerrainContours
