// The order Tab visits controls in: the order of the layouts, which is the
// order they are seen in (rows top to bottom, items leading to trailing,
// columns in turn), whenever a control was made. Inside an in-window sheet
// Tab goes round the sheet's own controls and never reaches the page behind
// it, and Return keeps the sheet's meaning (its default action) instead of
// clicking the focused button.
#pragma once

#include <vector>

class QWidget;

namespace FocusChain {
/// Whether Tab stops at `widget`: it takes Tab focus, is enabled and shown
/// within `root`. Scroll areas are frames, not stops (their item views are).
bool isTabStop(const QWidget* widget, const QWidget* root);
/// The tab stops inside `root` (itself excluded) in layout order; widgets
/// outside any layout (overlays) follow their parent's laid-out children.
std::vector<QWidget*> visualOrder(QWidget* root);
/// Moves the focus from `current` to the next (or previous) stop in `stops`,
/// wrapping around; the first (or last) when `current` is not among them.
/// Scroll areas around the new focus scroll it into view. Returns false when
/// there is no stop.
bool move(const std::vector<QWidget*>& stops, QWidget* current, bool next);
/// Scrolls the scroll areas around `target` until it is in view.
void scrollTo(QWidget* target);
/// Moves the focus to the next (or previous) control inside `container` that
/// Tab reaches, wrapping around; the focus stays put when there is none.
/// Always returns true: the key is used up either way.
bool cycle(QWidget* container, bool next);
/// Marks `container` as a sheet.
void markSheet(QWidget* container);
/// Whether `widget` is a marked sheet or lies inside one.
bool inSheet(const QWidget* widget);
}  // namespace FocusChain
