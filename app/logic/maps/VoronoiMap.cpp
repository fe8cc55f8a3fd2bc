#include "maps/VoronoiMap.hpp"

namespace {
bool isFolder(const NodeRef& node) { return node && node->isDirectory; }

std::vector<VoronoiChild> nestedCells(const MapItem& item, const PointList& shape) {
    if (!isFolder(item.node) || !(Polygon::area(shape) > 11000)) return {};
    const PointList inner = Polygon::inset(shape, 5.5);
    const std::vector<MapItem> subs = Treemap::split(item.node, 9);
    if (inner.size() < 3 || subs.size() < 2) return {};
    const std::vector<PointList> cells = VoronoiTreemap::layout(Treemap::weights(subs), inner, 60, 0.01);
    std::vector<VoronoiChild> children;
    for (size_t j = 0; j < subs.size() && j < cells.size(); ++j) {
        PointList cell = Polygon::inset(cells[j], 1.8);
        if (cell.size() < 3) continue;
        const Point center = Polygon::centroid(cell);
        children.push_back({subs[j], std::move(cell), center});
    }
    return children;
}
}  // namespace

namespace VoronoiMap {
std::vector<VoronoiBlob> build(const NodeRef& node, Size size) {
    if (!(size.width > 120) || !(size.height > 120)) return {};
    const double w = size.width, h = size.height;
    const PointList outer{{12, 12}, {w - 12, 12}, {w - 12, h - 12}, {12, h - 12}};
    const std::vector<MapItem> items = Treemap::split(node, 24);
    if (items.empty()) return {};
    const std::vector<PointList> cells = VoronoiTreemap::layout(Treemap::weights(items), outer, 90, 0.01);
    std::vector<VoronoiBlob> blobs;
    for (size_t i = 0; i < items.size() && i < cells.size(); ++i) {
        PointList shape = Polygon::inset(cells[i], 3.5);
        if (shape.size() < 3) continue;
        std::vector<VoronoiChild> children = nestedCells(items[i], shape);
        const Point center = Polygon::centroid(shape);
        blobs.push_back({items[i], std::move(shape), center, std::move(children)});
    }
    return blobs;
}

std::optional<MapHover> hit(Point point, const std::vector<VoronoiBlob>& blobs,
                            const std::optional<MapHover>& current) {
    for (size_t i = 0; i < blobs.size(); ++i) {
        if (!Polygon::contains(blobs[i].cell, point)) continue;
        const auto& children = blobs[i].children;
        for (size_t j = 0; j < children.size(); ++j)
            if (Polygon::contains(children[j].cell, point)) return MapHover{static_cast<int>(i), static_cast<int>(j)};
        if (!current || current->blob != static_cast<int>(i)) return MapHover{static_cast<int>(i), std::nullopt};
        return current;
    }
    return current;
}

std::optional<MapMotion::Animation> motion(const std::optional<MapHover>& current,
                                           const std::optional<MapHover>& next) {
    if (current == next) return std::nullopt;
    if (!current || !next || current->blob != next->blob) return MapMotion::swap;
    return MapMotion::step;
}

std::optional<VoronoiFocus> focus(const std::vector<VoronoiBlob>& blobs, const std::optional<MapHover>& hover) {
    if (!hover || hover->blob < 0 || static_cast<size_t>(hover->blob) >= blobs.size()) return std::nullopt;
    VoronoiFocus result{static_cast<size_t>(hover->blob), std::nullopt};
    const auto& children = blobs[result.blob].children;
    if (hover->child && *hover->child >= 0 && static_cast<size_t>(*hover->child) < children.size())
        result.child = static_cast<size_t>(*hover->child);
    return result;
}

const MapItem& pillItem(const std::vector<VoronoiBlob>& blobs, const VoronoiFocus& focus) {
    const VoronoiBlob& blob = blobs[focus.blob];
    return focus.child ? blob.children[*focus.child].item : blob.item;
}

NodeRef tap(Point point, const std::vector<VoronoiBlob>& blobs) {
    const std::optional<MapHover> hover = hit(point, blobs, std::nullopt);
    if (!hover) return nullptr;
    const VoronoiBlob& blob = blobs[static_cast<size_t>(hover->blob)];
    if (hover->child) {
        const NodeRef& child = blob.children[static_cast<size_t>(*hover->child)].item.node;
        if (isFolder(child)) return child;
    }
    return isFolder(blob.item.node) ? blob.item.node : nullptr;
}
}  // namespace VoronoiMap
