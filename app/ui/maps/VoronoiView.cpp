#include "ui/maps/VoronoiView.hpp"

#include <QPainter>

#include "maps/VoronoiPainter.hpp"
#include "ui/maps/MapPaint.hpp"

VoronoiView::VoronoiView(NodeRef node, OpenAction onOpen, QWidget* parent)
    : MapView(std::move(node), std::move(onOpen), parent) {}

std::string VoronoiView::prepareLayout() {
    if (!node()) return key = "";
    key = MapKeys::layout(*node(), mapSize());
    cache.get(key, [this] { return VoronoiMap::build(node(), mapSize()); });
    return key;
}

const std::vector<VoronoiBlob>& VoronoiView::blobs() {
    static const std::vector<VoronoiBlob> none;
    prepareLayout();
    return cache.value ? *cache.value : none;
}

void VoronoiView::paintResting(QPainter& painter) {
    for (const VoronoiBlob& blob : blobs()) MapPaint::voronoi(painter, VoronoiPainter::closed(blob, measure()));
}

void VoronoiView::folderChanged() { refreshLayers(MapMotion::swap); }

void VoronoiView::setHover(std::optional<MapHover> next) {
    const auto motion = VoronoiMap::motion(hovered, next);
    if (!motion) return;
    hovered = next;
    refreshLayers(*motion);
}

void VoronoiView::refreshLayers(const MapMotion::Animation& motion) {
    const auto focus = VoronoiMap::focus(blobs(), hovered);
    showLayers(focus ? drawing(*focus) : HoverDrawing{}, motion);
}

VoronoiView::HoverDrawing VoronoiView::drawing(const VoronoiFocus& focus) {
    const std::vector<VoronoiBlob>& all = blobs();
    const VoronoiBlob& blob = all[focus.blob];
    const std::string index = std::to_string(focus.blob);
    HoverDrawing shown;
    shown.layers.push_back(
        {"open|" + key + "|" + index, [drawing = VoronoiPainter::open(blob, measure())](QPainter& painter) {
             MapPaint::voronoi(painter, drawing);
         }});
    if (focus.child)
        shown.layers.push_back({"lit|" + key + "|" + index + "|" + std::to_string(*focus.child),
                                [drawing = VoronoiPainter::lit(blob, *focus.child, measure())](QPainter& painter) {
                                    MapPaint::voronoi(painter, drawing);
                                }});
    shown.pill = VoronoiMap::pillItem(all, focus);
    return shown;
}

size_t VoronoiView::preparedHoverCount() { return blobs().size(); }

VoronoiView::HoverDrawing VoronoiView::preparedHover(size_t blob) { return drawing(VoronoiFocus{blob, std::nullopt}); }

void VoronoiView::pointerMoved(Point point) { setHover(VoronoiMap::hit(point, blobs(), hovered)); }

void VoronoiView::pointerLeft() {
    if (hovered) setHover(std::nullopt);
}

void VoronoiView::tapped(Point point) { open(VoronoiMap::tap(point, blobs())); }
