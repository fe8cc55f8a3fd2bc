// The design names its pictures with symbol names ("trash", "chevron.down");
// they are drawn as glyphs of the Material Icons font, through one table.
// A missing font or glyph draws a neutral dot instead, never an error.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <optional>
#include <string_view>
#include <vector>

class QPainter;

namespace Symbols {
/// One row of the table: the design's name, the Material glyph's name and its codepoint.
struct Glyph {
    std::string_view symbol;
    std::string_view material;
    char32_t codepoint = 0;
};

/// Every symbol the front end uses, in no particular order.
const std::vector<Glyph>& table();
/// The row for a design name, if the table has one.
std::optional<Glyph> glyph(std::string_view symbol);

/// Whether the Material Icons font is installed and holds the symbol's glyph.
bool available(std::string_view symbol);

/// The icon font sized so that a glyph matches a symbol shown beside text of
/// `textSize` points (Material glyphs sit inside padding a text glyph lacks).
QFont font(double textSize);
/// The side of the square a symbol takes beside text of `textSize` points.
double side(double textSize);

/// Draws the symbol centred in `box`, scaled for text of `textSize` points,
/// in `color`; a neutral dot when the font or glyph is missing.
void draw(QPainter& painter, const QRectF& box, std::string_view symbol, const QColor& color, double textSize);
}  // namespace Symbols
