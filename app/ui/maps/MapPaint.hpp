// The maps' drawings, as the pure painters describe them, turned into QPainter
// calls; the Qt text measure the painters are given; the black rounded frame
// every map view sits in.
#pragma once

#include <QFont>
#include <QPainterPath>
#include <QRectF>

#include "maps/MapPill.hpp"
#include "maps/MapText.hpp"
#include "maps/TreemapPainter.hpp"
#include "maps/VoronoiPainter.hpp"

class QPainter;

namespace MapPaint {
/// Corner radius of every map view's frame.
constexpr double frameRadius = 18;
/// The smallest size a map view takes.
constexpr int minimumWidth = 320;
constexpr int minimumHeight = 300;

/// The Qt font a map text style resolves to.
QFont font(const MapFont& style);
/// A measure backed by QFontMetricsF of font(style); fonts are resolved once per style.
TextMeasure measure();

/// The frame's outline in a view of `size`: a continuous rounded rectangle of radius 18.
QPainterPath frame(const QSizeF& size);
/// The rounded outline of a polygon.
QPainterPath rounded(const PointList& polygon, double radius);

/// Text runs at their baselines.
void texts(QPainter& painter, const std::vector<MapText>& runs);
/// A Voronoi drawing: its clip, then each shape's fill, stroke and label.
void voronoi(QPainter& painter, const VoronoiDrawing& drawing);
/// A treemap cell's drawing: fill, outline, then the clipped label.
void treemap(QPainter& painter, const TreemapDrawing& drawing);
/// The hover pill: the capsule, its border inside, the symbol and the texts.
void pill(QPainter& painter, const MapPillLayout& layout);
}  // namespace MapPaint
