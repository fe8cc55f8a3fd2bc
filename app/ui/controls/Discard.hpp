// Removing a widget that may be inside its own signal handler.
#pragma once

#include <QWidget>

/// Hides the widget at once (a widget taken out of its layout would otherwise
/// still paint, at its default size, until it is deleted) and deletes it once
/// control returns to the event loop.
inline void discard(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->deleteLater();
}
