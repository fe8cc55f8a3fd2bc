#include "geometry/Geometry.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

/// One step of half-plane clipping: keeps the points whose `value` is at most
/// 0 and adds the linear crossing of every edge that changes sides. Edges are
/// walked from the last point, so the output follows the input's order.
template <class Value>
void clipInto(const PointList& polygon, PointList& out, Value value) {
    out.clear();
    if (polygon.empty()) return;
    Point p = polygon.back();
    double dp = value(p);
    for (const Point& q : polygon) {
        const double dq = value(q);
        if ((dq <= 0) != (dp <= 0)) {
            out.push_back({p.x + (q.x - p.x) * dp / (dp - dq), p.y + (q.y - p.y) * dp / (dp - dq)});
        }
        if (dq <= 0) out.push_back(q);
        p = q;
        dp = dq;
    }
}

}  // namespace

// Squarify

namespace Squarify {

namespace {

/// How far the row's worst rectangle is from a square; +infinity when the row
/// cannot be measured.
double worst(double sum, double smallest, double largest, double side) {
    if (!(sum > 0) || !(side > 0) || !(smallest > 0)) return infinity;
    return std::max(side * side * largest / (sum * sum), sum * sum / (side * side * smallest));
}

}  // namespace

std::vector<Rect> layout(const std::vector<double>& values, const Rect& rect) {
    const std::size_t n = values.size();
    if (n == 0) return {};
    double sum = 0;
    for (double value : values) sum += value;
    std::vector<Rect> result(n);
    const double width = rect.width();
    const double height = rect.height();
    if (!(sum > 0) || !(width > 1) || !(height > 1)) return result;

    // Areas are derived on the fly rather than stored, so the result is the
    // only allocation.
    const double scale = width * height / sum;
    const double* value = values.data();
    Rect* out = result.data();

    double freeX = rect.minX();
    double freeY = rect.minY();
    double freeWidth = width;
    double freeHeight = height;
    std::size_t start = 0;
    while (start < n) {
        const double side = std::min(freeWidth, freeHeight);
        double rowSum = scale * value[start];
        double smallest = rowSum;
        double largest = rowSum;
        // The grown row's measure becomes the row's own once it is accepted,
        // so each candidate is measured once.
        double rowWorst = worst(rowSum, smallest, largest, side);
        std::size_t end = start + 1;
        while (end < n) {
            const double next = scale * value[end];
            const double grownSum = rowSum + next;
            const double grownSmallest = std::min(smallest, next);
            const double grownLargest = std::max(largest, next);
            const double grownWorst = worst(grownSum, grownSmallest, grownLargest, side);
            // Written so that a NaN measure ends the row.
            if (!(grownWorst <= rowWorst)) break;
            rowSum = grownSum;
            smallest = grownSmallest;
            largest = grownLargest;
            rowWorst = grownWorst;
            ++end;
        }

        if (freeWidth >= freeHeight) {
            const double columnWidth = rowSum / std::max(freeHeight, 0.001);
            const double divisor = std::max(columnWidth, 0.001);
            double y = freeY;
            for (std::size_t k = start; k < end; ++k) {
                const double h = scale * value[k] / divisor;
                out[k] = Rect(freeX, y, columnWidth, h);
                y += h;
            }
            freeX = freeX + columnWidth;
            freeWidth = std::max(freeWidth - columnWidth, 0.0);
        } else {
            const double rowHeight = rowSum / std::max(freeWidth, 0.001);
            const double divisor = std::max(rowHeight, 0.001);
            double x = freeX;
            for (std::size_t k = start; k < end; ++k) {
                const double w = scale * value[k] / divisor;
                out[k] = Rect(x, freeY, w, rowHeight);
                x += w;
            }
            freeY = freeY + rowHeight;
            freeHeight = std::max(freeHeight - rowHeight, 0.0);
        }
        start = end;
    }
    return result;
}

}  // namespace Squarify

// Polygon

namespace Polygon {

namespace {

double cross(Point p, Point q) { return p.x * q.y - q.x * p.y; }

}  // namespace

double signedArea(const PointList& polygon) {
    if (polygon.size() < 3) return 0;
    double sum = 0;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        sum += cross(p, q);
        p = q;
    }
    return sum * 0.5;
}

double area(const PointList& polygon) { return std::fabs(signedArea(polygon)); }

Point centroid(const PointList& polygon) {
    if (polygon.empty()) return {};
    const double a = signedArea(polygon);
    if (std::fabs(a) < 1e-9) {
        double sx = 0;
        double sy = 0;
        for (const Point& p : polygon) {
            sx += p.x;
            sy += p.y;
        }
        const double count = static_cast<double>(polygon.size());
        return {sx / count, sy / count};
    }
    double sx = 0;
    double sy = 0;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        const double c = cross(p, q);
        sx += (p.x + q.x) * c;
        sy += (p.y + q.y) * c;
        p = q;
    }
    return {sx / (6 * a), sy / (6 * a)};
}

Rect bounds(const PointList& polygon) {
    if (polygon.empty()) return {};
    double minX = polygon[0].x, maxX = polygon[0].x;
    double minY = polygon[0].y, maxY = polygon[0].y;
    for (const Point& p : polygon) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

bool contains(const PointList& polygon, Point point) {
    if (polygon.size() < 3) return false;
    bool inside = false;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        if ((point.y < q.y) != (point.y < p.y) && point.x < q.x + (p.x - q.x) * (point.y - q.y) / (p.y - q.y)) {
            inside = !inside;
        }
        p = q;
    }
    return inside;
}

PointList clip(const PointList& polygon, double a, double b, double c) {
    PointList out;
    out.reserve(polygon.size() + 2);
    clipInto(polygon, out, [=](Point p) { return a * p.x + b * p.y - c; });
    return out;
}

PointList inset(const PointList& polygon, double distance) {
    if (polygon.size() < 3) return {};
    if (!(distance > 0)) return polygon;
    const double sign = signedArea(polygon) >= 0 ? 1.0 : -1.0;

    PointList result = polygon;
    PointList scratch;
    scratch.reserve(polygon.size() + 2);
    Point p = polygon.back();
    for (const Point& q : polygon) {
        const double ex = q.x - p.x;
        const double ey = q.y - p.y;
        const double length = std::sqrt(ex * ex + ey * ey);
        if (length > 1e-9) {
            const Point from = p;
            clipInto(result, scratch,
                     [&](Point r) { return sign * (ey * (r.x - from.x) - ex * (r.y - from.y)) / length + distance; });
            std::swap(result, scratch);
            if (result.size() < 3) return {};
        }
        p = q;
    }
    if (std::fabs(signedArea(result)) > 1e-6) return result;
    return {};
}

double inradius(const PointList& polygon) {
    if (polygon.size() < 3) return 0;
    const Point c = centroid(polygon);
    double nearest = infinity;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        const double ex = q.x - p.x;
        const double ey = q.y - p.y;
        const double length = std::sqrt(ex * ex + ey * ey);
        if (length > 1e-9) {
            nearest = std::min(nearest, std::fabs((c.y - p.y) * ex - (c.x - p.x) * ey) / length);
        }
        p = q;
    }
    return nearest == infinity ? 0 : nearest;
}

PointList smooth(const PointList& polygon, int iterations) {
    if (polygon.size() <= 2 || iterations <= 0) return polygon;
    PointList current = polygon;
    PointList next;
    for (int pass = 0; pass < iterations; ++pass) {
        next.clear();
        next.reserve(current.size() * 2);
        Point p = current.back();
        for (const Point& q : current) {
            next.push_back({0.75 * p.x + 0.25 * q.x, 0.75 * p.y + 0.25 * q.y});
            next.push_back({0.25 * p.x + 0.75 * q.x, 0.25 * p.y + 0.75 * q.y});
            p = q;
        }
        std::swap(current, next);
    }
    return current;
}

std::optional<ClosedRange> horizontalSpan(const PointList& polygon, double y) {
    if (polygon.size() < 3) return std::nullopt;
    std::optional<ClosedRange> span;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        if ((y < q.y) != (y < p.y)) {
            const double x = p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y);
            if (!span) {
                span = ClosedRange{x, x};
            } else {
                span->lowerBound = std::min(span->lowerBound, x);
                span->upperBound = std::max(span->upperBound, x);
            }
        }
        p = q;
    }
    return span;
}

std::optional<ClosedRange> verticalSpan(const PointList& polygon, double x) {
    // The horizontal span with the axes swapped, without building the
    // swapped copy.
    if (polygon.size() < 3) return std::nullopt;
    std::optional<ClosedRange> span;
    Point p = polygon.back();
    for (const Point& q : polygon) {
        if ((x < q.x) != (x < p.x)) {
            const double y = p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x);
            if (!span) {
                span = ClosedRange{y, y};
            } else {
                span->lowerBound = std::min(span->lowerBound, y);
                span->upperBound = std::max(span->upperBound, y);
            }
        }
        p = q;
    }
    return span;
}

PointList convexHull(const PointList& points) {
    PointList sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Point& l, const Point& r) { return l.x < r.x || (l.x == r.x && l.y < r.y); });
    if (sorted.size() <= 2) return sorted;

    auto turn = [](Point o, Point a, Point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); };
    PointList lower;
    for (const Point& r : sorted) {
        while (lower.size() >= 2 && turn(lower[lower.size() - 2], lower.back(), r) <= 0) lower.pop_back();
        lower.push_back(r);
    }
    PointList upper;
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        while (upper.size() >= 2 && turn(upper[upper.size() - 2], upper.back(), *it) <= 0) upper.pop_back();
        upper.push_back(*it);
    }
    lower.pop_back();
    upper.pop_back();
    lower.insert(lower.end(), upper.begin(), upper.end());
    return lower;
}

}  // namespace Polygon
