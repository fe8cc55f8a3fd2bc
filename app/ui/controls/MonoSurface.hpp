// The page surface: what every page and sheet sits on.
#pragma once

#include "theme/Theme.hpp"

class QWidget;

/// Makes `widget` a page surface: filled with `color`, paper foreground,
/// accent for highlights and progress, a dark palette for the platform's own
/// controls inside. The outlined accent button is already every MonoButton's default.
void monoSurface(QWidget* widget, const ThemeColor& color);
