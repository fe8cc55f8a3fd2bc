// Diagonal hatching for space that cannot be attributed: parallel lines
// rising to the right at 45 degrees, for the caller to stroke and clip.
#pragma once

#include <QLineF>
#include <QPainterPath>
#include <QRectF>
#include <vector>

namespace Hatch {
/// With h the rect's height: lines from (x, maxY) to (x + h, minY) for x from
/// minX − h while x < maxX, `spacing` apart. They overshoot the left and right
/// edges. A spacing that is not a positive number gives no lines.
std::vector<QLineF> lines(const QRectF& rect, double spacing);
/// The same lines as separate subpaths of one path.
QPainterPath path(const QRectF& rect, double spacing);
}  // namespace Hatch
