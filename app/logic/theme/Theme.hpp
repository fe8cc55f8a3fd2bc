// The one fixed palette of the front end: a near-black dark scheme, a warm
// off-white for text and strokes, three signal colours and eight data colours.
// Plain values, so layout and label logic can use them without Qt.
#pragma once

#include <array>

/// An sRGB colour as fractions in 0...1, drawn at whatever opacity the caller picks.
struct Swatch {
    double red = 0;
    double green = 0;
    double blue = 0;

    /// Relative luminance (sRGB / BT.709): each channel linearised, then weighted.
    double luminance() const;
    bool operator==(const Swatch&) const = default;
};

/// A palette colour: an sRGB swatch and the opacity it is drawn at.
struct ThemeColor {
    Swatch rgb;
    double opacity = 1;
    bool operator==(const ThemeColor&) const = default;
};

namespace Theme {
extern const ThemeColor paper;   ///< text, icons, outlines
extern const ThemeColor ink;     ///< text on bright fills
extern const ThemeColor ground;  ///< the window's page surface
extern const ThemeColor panel;   ///< cards, callouts, sheets
extern const ThemeColor raised;  ///< floating surfaces (the notice banner)
extern const ThemeColor line;    ///< hairlines: white at 0.13, so it keeps what lies beneath
extern const ThemeColor accent;
extern const ThemeColor warn;
extern const ThemeColor danger;

/// The eight categorical colours of map items and usage segments, in fixed order.
const std::array<Swatch, 8>& data();

/// The label colour for text or an icon on a fill: ink on fills brighter than
/// 0.18 luminance (strictly), paper otherwise.
const ThemeColor& labelColor(const Swatch& fill);
}  // namespace Theme
