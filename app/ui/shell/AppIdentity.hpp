// How the desktop recognises the application: the window's class and the
// desktop entry's name, fixed by the build so the installed entry and the
// running window always agree.
#pragma once

class QGuiApplication;

namespace AppIdentity {
/// The reverse-DNS id: the desktop entry's file name (without ".desktop") and the icon's name.
constexpr const char* desktopId = OSTREVANE_DESKTOP_ID;
/// The class of the window (WM_CLASS on X11), the entry's StartupWMClass.
constexpr const char* windowClass = OSTREVANE_WINDOW_CLASS;

/// Gives the application its class, desktop entry name and icon. Call once,
/// right after the QApplication is created.
void apply(QGuiApplication& application);
}  // namespace AppIdentity
