#include "maps/MapText.hpp"

#include <utility>

#include "maps/Graphemes.hpp"

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

std::optional<std::string> fitted(const std::string& text, double room, const MapFont& style,
                                  const TextMeasure& measure, bool exact) {
    const double width = measure(text, style).width;
    if (!(width > room)) return text;
    const double clusters = static_cast<double>(Graphemes::count(text));
    long long n = static_cast<long long>(room * clusters / width) - 1;
    if (!exact && n > 1) return Graphemes::prefix(text, static_cast<size_t>(n)) + "…";
    for (; n > 1; --n) {
        std::string cut = Graphemes::prefix(text, static_cast<size_t>(n)) + "…";
        if (!(measure(cut, style).width > room)) return cut;
    }
    return std::nullopt;
}

ThemeColor faded(const ThemeColor& color, double opacity) { return {color.rgb, color.opacity * opacity}; }
}  // namespace MapTexts
