// What screen readers and keyboard users get from the window: the
// accessible interfaces of Ostrevane's painted controls (each reports a role,
// a name and, where it has one, a value and state) and the keyboard
// behaviour of KeyboardAccess.
#pragma once

namespace Accessibility {
/// Installs the accessible-interface factory and the keyboard behaviour,
/// once per process; needs the QApplication.
void install();
}  // namespace Accessibility
