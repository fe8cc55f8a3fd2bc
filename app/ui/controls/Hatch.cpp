#include "ui/controls/Hatch.hpp"

#include <cmath>

namespace Hatch {
std::vector<QLineF> lines(const QRectF& rect, double spacing) {
    std::vector<QLineF> result;
    // A step of zero, a negative or NaN one would never reach the right edge.
    if (!(spacing > 0) || !std::isfinite(spacing)) return result;
    const QRectF r = rect.normalized();
    if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.height())) return result;
    const double h = r.height();
    for (double x = r.left() - h; x < r.right(); x += spacing) {
        result.emplace_back(QPointF(x, r.bottom()), QPointF(x + h, r.top()));
        if (x + spacing == x) break;  // a step below the precision of x would never advance either
    }
    return result;
}

QPainterPath path(const QRectF& rect, double spacing) {
    QPainterPath path;
    for (const QLineF& line : lines(rect, spacing)) {
        path.moveTo(line.p1());
        path.lineTo(line.p2());
    }
    return path;
}
}  // namespace Hatch
