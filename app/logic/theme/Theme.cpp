#include "theme/Theme.hpp"

#include <cmath>

namespace {
double linearised(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}
constexpr ThemeColor grey(double level, double opacity = 1) { return {{level, level, level}, opacity}; }
constexpr Swatch bytes(int red, int green, int blue) { return {red / 255.0, green / 255.0, blue / 255.0}; }
}  // namespace

double Swatch::luminance() const {
    return 0.2126 * linearised(red) + 0.7152 * linearised(green) + 0.0722 * linearised(blue);
}

namespace Theme {
const ThemeColor paper{{0.953, 0.945, 0.925}};
const ThemeColor ink = grey(0.07);
const ThemeColor ground = grey(0.03);
const ThemeColor panel = grey(0.085);
const ThemeColor raised = grey(0.15);
const ThemeColor line = grey(1, 0.13);
const ThemeColor accent{{0.769, 0.918, 0.443}};
const ThemeColor warn{{0.882, 0.718, 0.38}};
const ThemeColor danger{{0.882, 0.467, 0.396}};

const std::array<Swatch, 8>& data() {
    static const std::array<Swatch, 8> swatches{
        bytes(222, 201, 150), bytes(161, 186, 148), bytes(98, 166, 162),  bytes(175, 226, 205),
        bytes(140, 137, 86),  bytes(138, 193, 215), bytes(185, 152, 109), bytes(98, 135, 147),
    };
    return swatches;
}

const ThemeColor& labelColor(const Swatch& fill) { return fill.luminance() > 0.18 ? ink : paper; }
}  // namespace Theme
