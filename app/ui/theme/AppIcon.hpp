// The application's icon as Qt images: what the window shows and what the
// build renders into the installed icon theme folders.
#pragma once

#include <QIcon>
#include <QImage>

namespace AppIcon {
/// The sizes rendered for the installed icon theme and the window, in pixels.
constexpr int sizes[] = {256, 128, 64, 48};

/// The icon in a transparent `side` × `side` image: the backdrop and the
/// logo laid out as AppIconArt says, drawn with the logo's own painter.
QImage image(int side);
/// Every size of `sizes`, for the window and the task switcher.
QIcon icon();
}  // namespace AppIcon
