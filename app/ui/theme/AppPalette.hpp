// The application's one dark appearance for Qt's standard widgets.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QApplication;

namespace AppPalette {
/// The Fusion style with Ostrevane's dark palette and the menu font, set on the application.
void apply(QApplication& application);
/// The dark palette itself: surfaces from the theme, text in paper, and the
/// graphite accent the appearance defaults select for standard controls.
QPalette dark();
/// The font menus and the menu bar are given: the application's body text.
QFont menuFont();
/// The accent colour of standard controls (the palette's highlight).
QColor accent();
}  // namespace AppPalette
