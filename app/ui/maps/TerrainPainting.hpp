// QPainter drawing of the terrain's screen geometry, shared by the view's
// resting pixmap and its hover layer.
#pragma once

#include <QFont>
#include <QPainter>

#include "maps/TerrainScene.hpp"

namespace TerrainPainting {
/// The label fonts: name 11 semibold, size 9.5, at `dpi` logical dots per inch.
QFont font(TerrainFont which, qreal dpi);
/// The text size as the label placement measures it: laid out within 400 by 40.
Size measure(const std::string& text, const QFont& font);
/// Block, terraces, trees and labels.
void drawPicture(QPainter& painter, const TerrainPicture& picture, qreal dpi);
/// The hovered region's lines and its label on a plate.
void drawHighlight(QPainter& painter, const TerrainHighlight& highlight, qreal dpi);
/// The legend row at the top-left corner.
void drawLegend(QPainter& painter, qreal dpi);
/// A stand-in for the shared map pill: a capsule at the bottom-left corner
/// naming the item with its size, share and `note`.
void drawMapPillPlaceholder(QPainter& painter, const QRectF& view, const TerrainItem& item, int64_t total,
                            const std::optional<std::string>& note, qreal dpi);
}  // namespace TerrainPainting
