// Keyboard focus inside an in-window sheet: Tab and Shift+Tab go round the
// sheet's own controls and never reach the page behind it, and Return keeps
// the sheet's meaning (its default action) instead of clicking the focused
// button.
#pragma once

class QWidget;

namespace FocusChain {
/// Moves the focus to the next (or previous) control inside `container` that
/// Tab reaches, wrapping around; the focus stays put when there is none.
/// Always returns true: the key is used up either way.
bool cycle(QWidget* container, bool next);
/// Marks `container` as a sheet.
void markSheet(QWidget* container);
/// Whether `widget` is a marked sheet or lies inside one.
bool inSheet(const QWidget* widget);
}  // namespace FocusChain
