#include "ui/controls/FocusChain.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QLayout>
#include <QScrollArea>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {
const char* const sheetProperty = "ostrevaneSheet";

/// `layout`'s widgets in order, nested layouts in place.
void laidOut(const QLayout* layout, std::vector<QWidget*>& widgets) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget())
            widgets.push_back(widget);
        else if (QLayout* inner = item->layout())
            laidOut(inner, widgets);
    }
}

/// `parent`'s child widgets: the laid-out ones in layout order, then the rest.
std::vector<QWidget*> childrenInOrder(QWidget* parent) {
    std::vector<QWidget*> ordered;
    if (const QLayout* layout = parent->layout()) laidOut(layout, ordered);
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget->isWindow()) continue;
        if (std::find(ordered.begin(), ordered.end(), widget) == ordered.end()) ordered.push_back(widget);
    }
    return ordered;
}

void collect(QWidget* widget, QWidget* root, std::vector<QWidget*>& stops) {
    for (QWidget* child : childrenInOrder(widget)) {
        if (child->parentWidget() != widget || !child->isVisibleTo(root)) continue;
        if (FocusChain::isTabStop(child, root)) stops.push_back(child);
        collect(child, root, stops);
    }
}
}  // namespace

namespace FocusChain {
bool isTabStop(const QWidget* widget, const QWidget* root) {
    if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isEnabled() || !widget->isVisibleTo(root)) return false;
    return !qobject_cast<const QAbstractScrollArea*>(widget) || qobject_cast<const QAbstractItemView*>(widget);
}

std::vector<QWidget*> visualOrder(QWidget* root) {
    std::vector<QWidget*> stops;
    collect(root, root, stops);
    return stops;
}

bool move(const std::vector<QWidget*>& stops, QWidget* current, bool next) {
    if (stops.empty()) return false;
    const auto at = std::find(stops.begin(), stops.end(), current);
    size_t index = next ? 0 : stops.size() - 1;
    if (at != stops.end()) {
        const size_t here = size_t(at - stops.begin());
        index = next ? (here + 1) % stops.size() : (here + stops.size() - 1) % stops.size();
    }
    QWidget* target = stops[index];
    // Qt also asks for the next control when the focused one is being hidden
    // (a sheet closing after a click): that move is no key's, and the window
    // keeps the look it has.
    if (!current || current->isVisible()) target->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    scrollTo(target);
    return true;
}

void scrollTo(QWidget* target) {
    for (QWidget* w = target->parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) area->ensureWidgetVisible(target, 8, 8);
}

bool cycle(QWidget* container, bool next) {
    move(visualOrder(container), QApplication::focusWidget(), next);
    return true;
}

void markSheet(QWidget* container) { container->setProperty(sheetProperty, true); }

bool inSheet(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w->property(sheetProperty).toBool()) return true;
    return false;
}
}  // namespace FocusChain
