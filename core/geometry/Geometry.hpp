// Plane geometry behind the space maps: the squarified treemap, a handful of
// polygon operations and the weighted Voronoi treemap. Everything here is a
// pure function over plain structs of doubles, so the maps can call it from
// any thread; turning these values into toolkit types is the front end's job.
#pragma once

#include <optional>
#include <vector>

struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

/// An axis-aligned rectangle. The accessors read it in standard form, so a
/// negative width or height counts as positive with the origin moved.
struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

    double width() const { return size.width < 0 ? -size.width : size.width; }
    double height() const { return size.height < 0 ? -size.height : size.height; }
    double minX() const { return size.width < 0 ? origin.x + size.width : origin.x; }
    double minY() const { return size.height < 0 ? origin.y + size.height : origin.y; }
    double maxX() const { return minX() + width(); }
    double maxY() const { return minY() + height(); }
    double midX() const { return minX() + width() * 0.5; }
    double midY() const { return minY() + height() * 0.5; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

/// A polygon: closed implicitly (the last point joins the first, which is not
/// repeated), in either orientation.
using PointList = std::vector<Point>;

/// A closed interval [lowerBound, upperBound].
struct ClosedRange {
    double lowerBound = 0;
    double upperBound = 0;

    friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

namespace Squarify {
/// One rectangle per value, in the order of the values, with areas in
/// proportion to the values. The values are not sorted here; pass them
/// largest first for the classic result. All rectangles are empty when the
/// values sum to 0 or less or the rectangle is at most 1 wide or high.
std::vector<Rect> layout(const std::vector<double>& values, const Rect& rect);
}  // namespace Squarify

namespace Polygon {
/// Shoelace area, positive for counter-clockwise points in a y-up frame.
double signedArea(const PointList& polygon);
double area(const PointList& polygon);
/// The area centroid; the mean of the points when the area is (nearly) zero.
Point centroid(const PointList& polygon);
Rect bounds(const PointList& polygon);
/// Even-odd ray test; points on the boundary may fall either way.
bool contains(const PointList& polygon, Point point);
/// The part where a·x + b·y ≤ c. May come back with fewer than 3 points.
PointList clip(const PointList& polygon, double a, double b, double c);
/// A convex polygon shrunk by `distance` on every edge; empty when nothing
/// of substance remains.
PointList inset(const PointList& polygon, double distance);
/// The distance from the centroid to the nearest edge line.
double inradius(const PointList& polygon);
/// Corner cutting; every pass doubles the number of points.
PointList smooth(const PointList& polygon, int iterations);
/// The x values the polygon covers on the horizontal line at `y`.
std::optional<ClosedRange> horizontalSpan(const PointList& polygon, double y);
/// The y values the polygon covers on the vertical line at `x`.
std::optional<ClosedRange> verticalSpan(const PointList& polygon, double x);
/// Counter-clockwise (y-up) hull without collinear points.
PointList convexHull(const PointList& points);
}  // namespace Polygon

namespace VoronoiTreemap {
/// One cell per weight, in the order of the weights, tiling `polygon` with
/// areas close to each weight's share. The same input always gives the same
/// cells. A cell may be empty; callers skip cells with fewer than 3 points.
/// A negative `maxIterations` counts as 0. Large layouts spread their work
/// over the cores (oneTBB); the cells do not depend on how.
std::vector<PointList> layout(const std::vector<double>& weights, const PointList& polygon, int maxIterations,
                              double tolerance);
}  // namespace VoronoiTreemap
