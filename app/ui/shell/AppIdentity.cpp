#include "ui/shell/AppIdentity.hpp"

#include <QGuiApplication>

#include "ui/theme/AppIcon.hpp"

namespace AppIdentity {
void apply(QGuiApplication& application) {
    // On X11 the window's class is the application's name (WM_CLASS); on
    // Wayland the desktop file name is the app id.
    QGuiApplication::setApplicationName(QString::fromUtf8(windowClass));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(desktopId));
    application.setWindowIcon(AppIcon::icon());
}
}  // namespace AppIdentity
