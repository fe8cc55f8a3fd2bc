#include "ui/maps/MapKeyboard.hpp"

#include <QKeyEvent>
#include <QWidget>

#include "ui/controls/FocusRing.hpp"
#include "ui/maps/MapRegions.hpp"

namespace {
// The maps' rounded frame.
constexpr double frameRadius = 18;
}  // namespace

MapKeyboard::MapKeyboard(QWidget* view, std::function<void(const NodeRef&)> open)
    : QObject(view), view(view), open(std::move(open)) {}

void MapKeyboard::attach(QWidget* view, std::function<void(const NodeRef&)> open) {
    view->setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(view, frameRadius);
    view->installEventFilter(new MapKeyboard(view, std::move(open)));
}

std::optional<int> MapKeyboard::step(int key) const {
    const int count = int(MapRegions::of(view).size());
    if (count == 0) return std::nullopt;
    const std::optional<int> current = MapRegions::hovered(view);
    switch (key) {
    case Qt::Key_Home: return 0;
    case Qt::Key_End: return count - 1;
    case Qt::Key_Left:
    case Qt::Key_Up: return current ? std::max(0, *current - 1) : count - 1;
    default: break;
    }
    return current ? std::min(count - 1, *current + 1) : 0;
}

bool MapKeyboard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view) return false;
    // The keyboard's region is shown only while the keyboard is on the map.
    if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
        !view->underMouse())
        MapRegions::hover(view, std::nullopt);
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
        MapRegions::hover(view, step(key->key()));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: {
        const std::optional<int> current = MapRegions::hovered(view);
        const std::vector<MapRegion> regions = MapRegions::of(view);
        if (!current || size_t(*current) >= regions.size()) return true;
        const NodeRef node = regions[size_t(*current)].item.node;
        if (node && node->isDirectory && open) open(node);
        return true;
    }
    default: return false;
    }
}
