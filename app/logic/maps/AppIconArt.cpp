#include "maps/AppIconArt.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "maps/BrandMarkCells.hpp"
#include "theme/Theme.hpp"

namespace {
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::abs(value) < 5e-4 ? 0.0 : value);
    return text;
}

std::string point(double x, double y) { return number(x) + " " + number(y); }

std::string hex(const Swatch& swatch) {
    auto channel = [](double fraction) { return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 255)); };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(swatch.red), channel(swatch.green), channel(swatch.blue));
    return text;
}

/// SVG path data of `segments`, shifted by `offset` on both axes. The cells'
/// frame points y down like SVG's, so an arc sweeping to larger angles is
/// SVG's positive (clockwise) direction.
std::string pathData(const PathSegments& segments, double offset) {
    std::string data;
    for (const PathSegment& segment : segments) {
        const std::string to = point(segment.to.x + offset, segment.to.y + offset);
        switch (segment.kind) {
        case PathSegment::Kind::move: data += "M" + to; break;
        case PathSegment::Kind::line: data += "L" + to; break;
        case PathSegment::Kind::close: data += "Z"; break;
        case PathSegment::Kind::arc:
            data += "A" + number(segment.radius) + " " + number(segment.radius) + " 0 " +
                    (std::abs(segment.sweep) > std::numbers::pi ? "1 " : "0 ") + (segment.sweep > 0 ? "1 " : "0 ") + to;
            break;
        }
    }
    return data;
}
}  // namespace

namespace AppIconArt {
std::string svg(double side) {
    const std::string size = number(side);
    std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + size +
        "\" height=\"" + size + "\" viewBox=\"0 0 " + size + " " + size + "\">\n";
    document += "  <rect width=\"" + size + "\" height=\"" + size + "\" rx=\"" + number(side * backdropRadius) +
                "\" fill=\"" + hex(Theme::ground.rgb) + "\"/>\n";
    const double margin = side * logoMargin;
    for (const BrandCellShape& cell : BrandMarkCells::shapes(side - 2 * margin)) {
        const Swatch& fill = (cell.accent ? Theme::accent : Theme::paper).rgb;
        document += "  <path fill=\"" + hex(fill) + "\" d=\"" + pathData(cell.path, margin) + "\"/>\n";
    }
    return document + "</svg>\n";
}
}  // namespace AppIconArt
