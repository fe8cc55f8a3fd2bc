#include "ui/maps/MapKeyboard.hpp"

#include <QKeyEvent>
#include <QWidget>

#include "text/Localization.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/maps/MapRegions.hpp"

namespace {
// The maps' rounded frame.
constexpr double frameRadius = 18;

Qt::KeyboardModifiers modifiersOf(const QKeyEvent& key) { return key.modifiers() & ~Qt::KeypadModifier; }
}  // namespace

MapKeyboard::MapKeyboard(QWidget* view, MapKeyActions keys) : QObject(view), view(view), keys(std::move(keys)) {}

void MapKeyboard::attach(QWidget* view, MapKeyActions keys) {
    view->setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(view, frameRadius);
    view->setToolTip(shownText(L(
        "方向键逐个选择区域,回车或空格打开文件夹;Backspace 或 Alt+↑ 回到上一级;菜单键或 Shift+F10 显示这一项的操作。")));
    view->installEventFilter(new MapKeyboard(view, std::move(keys)));
}

bool MapKeyboard::isBackKey(const QKeyEvent& key) {
    return (key.key() == Qt::Key_Backspace && modifiersOf(key) == Qt::NoModifier) ||
           (key.key() == Qt::Key_Up && modifiersOf(key) == Qt::AltModifier);
}

bool MapKeyboard::isMenuKey(const QKeyEvent& key) {
    return (key.key() == Qt::Key_Menu && modifiersOf(key) == Qt::NoModifier) ||
           (key.key() == Qt::Key_F10 && modifiersOf(key) == Qt::ShiftModifier);
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

NodeRef MapKeyboard::currentItem(bool hoverFirst) const {
    const std::vector<MapRegion> regions = MapRegions::of(view);
    std::optional<int> current = MapRegions::hovered(view);
    if (!current && hoverFirst && !regions.empty()) {
        current = 0;
        MapRegions::hover(view, current);
    }
    if (!current || size_t(*current) >= regions.size()) return nullptr;
    return regions[size_t(*current)].item.node;
}

void MapKeyboard::openMenu() {
    // The pointer may light an item inside the region: the pill names that one.
    const NodeRef lit = MapRegions::litItem(view);
    const NodeRef node = lit ? lit : currentItem(true);
    if (!node || !keys.menu) return;
    // At the region, as the list's menu opens at its row.
    const QRectF bounds = MapRegions::of(view)[size_t(*MapRegions::hovered(view))].bounds;
    keys.menu(node, view->mapToGlobal(bounds.center().toPoint()));
}

bool MapKeyboard::handleKey(const QKeyEvent& key) {
    if (isBackKey(key)) {
        if (keys.back) keys.back();
        return true;
    }
    if (isMenuKey(key)) {
        openMenu();
        return true;
    }
    if (modifiersOf(key) != Qt::NoModifier) return false;
    switch (key.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End: MapRegions::hover(view, step(key.key())); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: {
        const NodeRef node = currentItem(false);
        if (node && node->isDirectory && keys.open) keys.open(node);
        return true;
    }
    default: return false;
    }
}

bool MapKeyboard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view) return false;
    // The keyboard's region is shown only while the keyboard is on the map.
    if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
        !view->underMouse())
        MapRegions::hover(view, std::nullopt);
    if (event->type() != QEvent::KeyPress) return false;
    return handleKey(*static_cast<QKeyEvent*>(event));
}
