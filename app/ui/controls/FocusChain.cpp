#include "ui/controls/FocusChain.hpp"

#include <QApplication>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {
const char* const sheetProperty = "ostrevaneSheet";

/// The controls Tab reaches inside `container`, in focus-chain order.
std::vector<QWidget*> tabStops(QWidget* container) {
    std::vector<QWidget*> stops;
    for (QWidget* w = container->nextInFocusChain(); w && w != container; w = w->nextInFocusChain()) {
        if (!container->isAncestorOf(w)) continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(container) && w->isEnabled()) stops.push_back(w);
    }
    return stops;
}
}  // namespace

namespace FocusChain {
bool cycle(QWidget* container, bool next) {
    const std::vector<QWidget*> stops = tabStops(container);
    if (stops.empty()) return true;
    QWidget* current = QApplication::focusWidget();
    const auto at = std::find(stops.begin(), stops.end(), current);
    size_t index = 0;
    if (at == stops.end()) {
        index = next ? 0 : stops.size() - 1;
    } else {
        const size_t here = size_t(at - stops.begin());
        index = next ? (here + 1) % stops.size() : (here + stops.size() - 1) % stops.size();
    }
    stops[index]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void markSheet(QWidget* container) { container->setProperty(sheetProperty, true); }

bool inSheet(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w->property(sheetProperty).toBool()) return true;
    return false;
}
}  // namespace FocusChain
