// The outlines every control is drawn with: capsules and rounded rectangles
// with continuous corners, and 1-point strokes that stay inside the shape.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

#include "maps/RoundedPath.hpp"

class QPainter;

namespace Shapes {
/// A rectangle with fully round ends along its shorter side.
QPainterPath capsule(const QRectF& rect);
/// A rounded rectangle whose corners ease into the edges (continuous
/// curvature); the radius shrinks when the rectangle is too small for it.
QPainterPath continuousRect(const QRectF& rect, double radius);

/// Fills `rect` as a capsule, then strokes a 1-point capsule inside its bounds
/// (no stroke when `stroke` is fully transparent).
void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& stroke);
/// The same for a continuous rounded rectangle of `radius`.
void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill, const QColor& stroke);

/// The path a list of segments describes.
QPainterPath path(const PathSegments& segments);
}  // namespace Shapes
