// The palette as Qt colours.
#pragma once

#include <QColor>

#include "theme/Theme.hpp"

inline QColor qColor(const Swatch& swatch, double opacity = 1) {
    return QColor::fromRgbF(float(swatch.red), float(swatch.green), float(swatch.blue), float(opacity));
}
inline QColor qColor(const ThemeColor& color) { return qColor(color.rgb, color.opacity); }
