#include "ui/maps/TreemapView.hpp"

#include <QPainter>

#include "maps/TreemapPainter.hpp"
#include "ui/maps/MapPaint.hpp"

TreemapView::TreemapView(NodeRef node, OpenAction onOpen, QWidget* parent)
    : MapView(std::move(node), std::move(onOpen), parent) {}

std::string TreemapView::prepareLayout() {
    if (!node()) return key = "";
    key = MapKeys::layout(*node(), mapSize());
    cache.get(key, [this] { return Treemap::cells(node(), Treemap::layoutRect(mapSize())); });
    return key;
}

const std::vector<TreemapCell>& TreemapView::cells() {
    static const std::vector<TreemapCell> none;
    prepareLayout();
    return cache.value ? *cache.value : none;
}

void TreemapView::paintResting(QPainter& painter) {
    for (const TreemapCell& cell : cells()) MapPaint::treemap(painter, TreemapPainter::draw(cell, false, measure()));
}

void TreemapView::folderChanged() { refreshLayers(); }

void TreemapView::setHoverID(std::optional<std::string> id) {
    if (id == hovered) return;
    hovered = std::move(id);
    refreshLayers();
}

void TreemapView::refreshLayers() {
    const std::vector<TreemapCell>& all = cells();
    const auto index = Treemap::hovered(all, hovered);
    if (!index) {
        showLayers({}, MapMotion::step);
        return;
    }
    const TreemapCell& cell = all[*index];
    std::vector<MapFades::Layer> layers;
    layers.push_back({key + "|" + cell.id, [drawing = TreemapPainter::highlight(cell, measure())](QPainter& painter) {
                          MapPaint::treemap(painter, drawing);
                      }});
    showLayers({std::move(layers), Treemap::pillItem(cell)}, MapMotion::step);
}

void TreemapView::pointerMoved(Point point) { setHoverID(Treemap::target(point, cells(), hovered)); }

void TreemapView::pointerLeft() {
    if (hovered) setHoverID(std::nullopt);
}

void TreemapView::tapped(Point point) { open(Treemap::tap(point, cells())); }
