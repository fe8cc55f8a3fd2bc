// QPainter drawing of the terrain's screen geometry, shared by the view's
// resting pixmap and its hover layer.
#pragma once

#include <QPainter>

#include "maps/TerrainScene.hpp"

namespace TerrainPainting {
/// Block, terraces, trees and labels.
void drawPicture(QPainter& painter, const TerrainPicture& picture);
/// The hovered region's lines and its label on a plate: drawHighlightLines
/// then drawHighlightPlate.
void drawHighlight(QPainter& painter, const TerrainHighlight& highlight);
void drawHighlightLines(QPainter& painter, const TerrainHighlight& highlight);
void drawHighlightPlate(QPainter& painter, const TerrainHighlight& highlight);
/// The legend row at the top-left corner: a mountain and a tree symbol, each with its caption.
void drawLegend(QPainter& painter);
}  // namespace TerrainPainting
