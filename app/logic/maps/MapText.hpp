// Text as the map painters hand it to a drawing layer: styled runs placed by
// their baseline, measured through an injected function so that placement can
// be computed (and tested) without a display or a font engine.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "geometry/Geometry.hpp"
#include "theme/Theme.hpp"

/// The system font at an explicit size; `monospacedDigits` asks for tabular
/// figures (size texts that must not jitter as they change).
struct MapFont {
    enum class Weight { regular, medium, semibold, bold };
    double size = 12;
    Weight weight = Weight::regular;
    bool monospacedDigits = false;
    bool operator==(const MapFont&) const = default;
};

/// What a measurement reports of one line of text: its advance width and the
/// font's ascent and descent above and below the baseline.
struct TextBox {
    double width = 0;
    double ascent = 0;
    double descent = 0;
    double height() const { return ascent + descent; }
};

/// Measures one unwrapped line. The Qt view passes QFontMetricsF of the font
/// the style resolves to; tests pass a fixed-advance function.
using TextMeasure = std::function<TextBox(const std::string& text, const MapFont& style)>;

/// One run of text to draw: `baseline` is the left end of its baseline, so a
/// painter draws it with QPainter::drawText(QPointF(baseline), text).
struct MapText {
    std::string text;
    MapFont style;
    ThemeColor color;
    Point baseline;
    bool operator==(const MapText&) const = default;
};

namespace MapTexts {
/// A run whose measured box has its top-left corner at `topLeft`.
MapText atTopLeft(std::string text, const MapFont& style, const ThemeColor& color, Point topLeft,
                  const TextMeasure& measure);
/// A run whose measured box is centred on `center`.
MapText centredAt(std::string text, const MapFont& style, const ThemeColor& color, Point center,
                  const TextMeasure& measure);
/// `text` as it fits `room` across: whole when it fits, else its first n
/// grapheme clusters and "…", n estimated from the measured width less one;
/// with `exact`, n is then lowered until the cut text fits. None when n
/// would be 1 or less.
std::optional<std::string> fitted(const std::string& text, double room, const MapFont& style,
                                  const TextMeasure& measure, bool exact);
/// `color` at `opacity` times its own opacity.
ThemeColor faded(const ThemeColor& color, double opacity);
}  // namespace MapTexts
