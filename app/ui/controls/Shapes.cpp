#include "ui/controls/Shapes.hpp"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
// One corner of a continuous rounded rectangle, as offsets in units of the
// radius from the corner, walked from the top edge down the right edge:
// a long easing curve, a near-circular middle and the mirrored easing curve.
constexpr double reach = 1.52866483;
// A step with equal control points and end is a straight line.
struct Cubic {
    QPointF c1, c2, to;
};
const Cubic cornerCurves[] = {
    {{1.08849296, 0}, {0.86840694, 0}, {0.63149399, 0.07491139}},
    {{0.37282383, 0.16905956}, {0.37282383, 0.16905956}, {0.37282383, 0.16905956}},
    {{0.27812, 0.20349}, {0.20349, 0.27812}, {0.16905956, 0.37282383}},
    {{0.07491139, 0.63149399}, {0.07491139, 0.63149399}, {0.07491139, 0.63149399}},
    {{0, 0.86840694}, {0, 1.08849296}, {0, reach}},
};

}  // namespace

namespace Shapes {
QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath continuousRect(const QRectF& rect, double radius) {
    QPainterPath path;
    if (rect.isEmpty()) return path;
    const double r = std::max(0.0, std::min(radius, std::min(rect.width(), rect.height()) / 2 / reach));
    if (r <= 0) {
        path.addRect(rect);
        return path;
    }
    // Each corner in turn: x and y directions of "along the edge into the corner" and "away from it".
    struct Corner {
        QPointF point;
        QPointF along;   // direction of travel on the incoming edge
        QPointF across;  // direction of travel on the outgoing edge
    };
    const Corner corners[] = {
        {rect.topRight(), {1, 0}, {0, 1}},
        {rect.bottomRight(), {0, 1}, {-1, 0}},
        {rect.bottomLeft(), {-1, 0}, {0, -1}},
        {rect.topLeft(), {0, -1}, {1, 0}},
    };
    // An offset (a, b) of the canonical corner: a back along the incoming edge, b along the outgoing one.
    auto point = [&](const Corner& c, double a, double b) { return c.point - c.along * (a * r) + c.across * (b * r); };
    path.moveTo(point(corners[3], 0, reach));
    for (const Corner& corner : corners) {
        path.lineTo(point(corner, reach, 0));
        for (const Cubic& cubic : cornerCurves) {
            const auto map = [&](const QPointF& p) {
                // The table walks the top-right corner; x back from the corner, y down the outgoing edge.
                return point(corner, p.x(), p.y());
            };
            if (cubic.c1 == cubic.to) {
                path.lineTo(map(cubic.to));
            } else {
                path.cubicTo(map(cubic.c1), map(cubic.c2), map(cubic.to));
            }
        }
    }
    path.closeSubpath();
    return path;
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& stroke) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (fill.alpha() > 0) painter.fillPath(capsule(rect), fill);
    if (stroke.alpha() > 0) painter.strokePath(capsule(rect.adjusted(0.5, 0.5, -0.5, -0.5)), QPen(stroke, 1));
    painter.restore();
}

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill, const QColor& stroke) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (fill.alpha() > 0) painter.fillPath(continuousRect(rect, radius), fill);
    if (stroke.alpha() > 0) {
        painter.strokePath(continuousRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5), QPen(stroke, 1));
    }
    painter.restore();
}

QPainterPath path(const PathSegments& segments) {
    QPainterPath path;
    for (const PathSegment& segment : segments) {
        const QPointF to(segment.to.x, segment.to.y);
        switch (segment.kind) {
        case PathSegment::Kind::move: path.moveTo(to); break;
        case PathSegment::Kind::line: path.lineTo(to); break;
        case PathSegment::Kind::close: path.closeSubpath(); break;
        case PathSegment::Kind::arc: {
            const double r = segment.radius;
            const QRectF circle(segment.center.x - r, segment.center.y - r, 2 * r, 2 * r);
            // Qt measures angles counter-clockwise on a y-down screen: the opposite sign.
            path.arcTo(circle, -segment.startAngle * 180 / M_PI, -segment.sweep * 180 / M_PI);
            break;
        }
        }
    }
    return path;
}
}  // namespace Shapes
