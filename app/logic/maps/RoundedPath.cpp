#include "maps/RoundedPath.hpp"

#include <algorithm>
#include <cmath>

namespace {
constexpr double minimumSpacing = 0.75;
constexpr double sharpRadius = 0.6;

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }
Point midpoint(Point a, Point b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

PointList cleaned(const PointList& points) {
    PointList kept;
    for (const Point& point : points) {
        if (kept.empty() || distance(point, kept.back()) > minimumSpacing) kept.push_back(point);
    }
    if (kept.size() >= 2 && distance(kept.front(), kept.back()) <= minimumSpacing) kept.pop_back();
    return kept;
}

/// The corner's radius: as round as `radius` allows while both tangent points
/// stay within 96 % of half the shorter adjacent edge.
double cornerRadius(Point before, Point corner, Point after, double radius) {
    const double u = distance(before, corner);
    const double v = distance(after, corner);
    const double dot = (before.x - corner.x) * (after.x - corner.x) + (before.y - corner.y) * (after.y - corner.y);
    const double theta = std::acos(std::clamp(dot / (u * v), -1.0, 1.0));
    return std::min(std::tan(theta / 2) * (std::min(u, v) / 2) * 0.96, radius);
}

/// The tangent-arc step from `current` around `corner` towards `next`: a line
/// to the first tangent point and the arc, or a plain line to the corner when
/// the lines are (nearly) parallel and no arc fits.
void addTangentArc(PathSegments& path, Point current, Point corner, Point next, double r) {
    const double la = distance(current, corner);
    const double lb = distance(next, corner);
    if (la < 1e-12 || lb < 1e-12) {
        path.push_back(PathSegment::lineTo(corner));
        return;
    }
    const Point da{(current.x - corner.x) / la, (current.y - corner.y) / la};
    const Point db{(next.x - corner.x) / lb, (next.y - corner.y) / lb};
    const double cosine = std::clamp(da.x * db.x + da.y * db.y, -1.0, 1.0);
    const double half = std::acos(cosine) / 2;
    const double tangentLength = r / std::tan(half);
    const Point bisector{da.x + db.x, da.y + db.y};
    const double bisectorLength = std::hypot(bisector.x, bisector.y);
    if (!std::isfinite(tangentLength) || tangentLength < 1e-9 || bisectorLength < 1e-12) {
        path.push_back(PathSegment::lineTo(corner));
        return;
    }
    const Point first{corner.x + da.x * tangentLength, corner.y + da.y * tangentLength};
    const Point second{corner.x + db.x * tangentLength, corner.y + db.y * tangentLength};
    const double centerDistance = r / std::sin(half);
    const Point center{corner.x + bisector.x / bisectorLength * centerDistance,
                       corner.y + bisector.y / bisectorLength * centerDistance};
    const double start = std::atan2(first.y - center.y, first.x - center.x);
    double sweep = std::atan2(second.y - center.y, second.x - center.x) - start;
    if (sweep > M_PI) sweep -= 2 * M_PI;
    if (sweep < -M_PI) sweep += 2 * M_PI;
    path.push_back(PathSegment::lineTo(first));
    path.push_back({PathSegment::Kind::arc, second, center, r, start, sweep});
}
}  // namespace

namespace VoronoiMap {
PathSegments roundedPath(const PointList& points, double radius) {
    const PointList p = cleaned(points);
    const size_t n = p.size();
    if (n < 3) return {};
    PathSegments path;
    Point current = midpoint(p[n - 1], p[0]);
    path.push_back(PathSegment::moveTo(current));
    for (size_t i = 0; i < n; ++i) {
        const Point& before = p[(i + n - 1) % n];
        const Point& after = p[(i + 1) % n];
        const Point middle = midpoint(p[i], after);
        const double r = cornerRadius(before, p[i], after, radius);
        if (r > sharpRadius) {
            addTangentArc(path, current, p[i], middle, r);
        } else {
            path.push_back(PathSegment::lineTo(p[i]));
        }
        path.push_back(PathSegment::lineTo(middle));
        current = middle;
    }
    path.push_back(PathSegment::close());
    return path;
}
}  // namespace VoronoiMap
