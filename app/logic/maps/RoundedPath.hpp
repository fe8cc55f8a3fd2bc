// The closed outline of a polygon with its corners rounded by tangent arcs,
// shared by the logo and the Voronoi map. Plain segments, so the drawing
// layer turns them into its own path type and tests can read them directly.
#pragma once

#include <vector>

#include "geometry/Geometry.hpp"

/// One step of a path, in the polygon's own coordinates.
struct PathSegment {
    enum class Kind { move, line, arc, close };
    Kind kind = Kind::line;
    /// Where the step ends (the second tangent point for an arc; unused for close).
    Point to;
    /// Arcs only: the circle, and the angles (radians, measured as atan2 in the
    /// polygon's frame) from the first tangent point through `sweep` to `to`.
    Point center;
    double radius = 0;
    double startAngle = 0;
    double sweep = 0;

    static PathSegment moveTo(Point to) { return {Kind::move, to, {}, 0, 0, 0}; }
    static PathSegment lineTo(Point to) { return {Kind::line, to, {}, 0, 0, 0}; }
    static PathSegment close() { return {Kind::close, {}, {}, 0, 0, 0}; }

    friend bool operator==(const PathSegment&, const PathSegment&) = default;
};
using PathSegments = std::vector<PathSegment>;

namespace VoronoiMap {
/// The closed path through `points` with every corner rounded: a move to the
/// midpoint of the last and first points, then per corner a line to the first
/// tangent point, the arc, and a line to the next edge's midpoint, then close.
/// Corners whose radius would be 0.6 or less stay sharp. Points within 0.75 of
/// the previous kept point (and a last point that repeats the first) are
/// dropped; fewer than three remaining points give an empty path.
PathSegments roundedPath(const PointList& points, double radius);
}  // namespace VoronoiMap
