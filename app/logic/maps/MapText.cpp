#include "maps/MapText.hpp"

#include <utility>

namespace MapTexts {
MapText atTopLeft(std::string text, const MapFont& style, const ThemeColor& color, Point topLeft,
                  const TextMeasure& measure) {
    const TextBox box = measure(text, style);
    return {std::move(text), style, color, {topLeft.x, topLeft.y + box.ascent}};
}

MapText centredAt(std::string text, const MapFont& style, const ThemeColor& color, Point center,
                  const TextMeasure& measure) {
    const TextBox box = measure(text, style);
    const Point baseline{center.x - box.width / 2, center.y - box.height() / 2 + box.ascent};
    return {std::move(text), style, color, baseline};
}

ThemeColor faded(const ThemeColor& color, double opacity) { return {color.rgb, color.opacity * opacity}; }
}  // namespace MapTexts
