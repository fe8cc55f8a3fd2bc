// What screen readers and keyboard users get from the window: the
// accessible interfaces of Ostrevane's painted controls (each reports a role,
// a name and, where it has one, a value and state) and the keyboard
// behaviour of KeyboardAccess.
#pragma once

class QWidget;

namespace Accessibility {
/// Installs the accessible-interface factory and the keyboard behaviour,
/// once per process; needs the QApplication.
void install();
/// Reports `control`'s description as changed, so a screen reader on it says
/// it: what a press of it just brought, shown beside it. Qt reports only a
/// new text, and a press that brings the same answer again must be heard too.
void announceDescription(QWidget* control);
}  // namespace Accessibility
