// The application's icon: the logo on a rounded square of the window's
// ground, so its paper cells stay visible on light and dark desktops alike.
// One layout for every rendering (the SVG here, the pixel images in the UI
// layer), so the installed icons and the window's icon are the same picture.
#pragma once

#include <string>

namespace AppIconArt {
/// Corner radius of the backdrop, as a fraction of the icon's side.
constexpr double backdropRadius = 0.22;
/// Margin between the backdrop's edge and the logo's square, as a fraction of the side.
constexpr double logoMargin = 0.12;

/// The icon as a standalone SVG document of `side` × `side` user units:
/// the backdrop, then the logo's cells filled in paper and the accent.
std::string svg(double side);
}  // namespace AppIconArt
