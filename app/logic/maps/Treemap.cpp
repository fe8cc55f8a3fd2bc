#include "maps/Treemap.hpp"

#include <algorithm>

namespace {
const std::string nestedMark = "›";

// A rectangle shrunk by dx and dy, in raw numbers: Rect reads a negative size
// as positive, which would let a collapsed box pass the size checks.
struct Box {
    double x, y, width, height;
    static Box inset(const Rect& r, double dx, double dy) {
        return {r.minX() + dx, r.minY() + dy, r.width() - 2 * dx, r.height() - 2 * dy};
    }
    bool isVisible() const { return width > 3 && height > 3; }
    Rect rect() const { return Rect(x, y, width, height); }
};

bool contains(const Rect& r, Point p) { return r.minX() <= p.x && p.x < r.maxX() && r.minY() <= p.y && p.y < r.maxY(); }

TreemapCell makeCell(std::string id, const MapItem& item, const Rect& rect, int level, double shade,
                     std::optional<int> rank) {
    return {std::move(id), item.node, item.label, item.bytes, rect, level, item.node == nullptr, false, shade, rank};
}

// The nested cells of a box: its folder's items in the box less a 24-point
// label band at the top and 5 points on the other sides.
std::vector<TreemapCell> nestedCells(const MapItem& parent, const Box& box) {
    const std::vector<MapItem> subs = Treemap::split(parent.node, 10);
    const Rect inner(box.x + 5, box.y + 24, box.width - 10, box.height - 29);
    const std::vector<Rect> rects = Squarify::layout(Treemap::weights(subs), inner);
    const double last = static_cast<double>(std::max<size_t>(subs.size(), 2) - 1);
    std::vector<TreemapCell> nested;
    for (size_t j = 0; j < subs.size() && j < rects.size(); ++j) {
        const Box q = Box::inset(rects[j], 1.25, 1.25);
        if (!q.isVisible()) continue;
        nested.push_back(makeCell(parent.id + nestedMark + subs[j].id, subs[j], q.rect(), 1,
                                  static_cast<double>(j) / last, parent.rank));
    }
    return nested;
}
}  // namespace

namespace Treemap {
Rect layoutRect(Size viewSize) { return Rect(10, 10, viewSize.width - 20, viewSize.height - 20); }

std::vector<TreemapCell> cells(const NodeRef& node, const Rect& rect) {
    const std::vector<MapItem> items = split(node, 28);
    const std::vector<Rect> rects = Squarify::layout(Treemap::weights(items), rect);
    std::vector<TreemapCell> result;
    for (size_t i = 0; i < items.size() && i < rects.size(); ++i) {
        const MapItem& item = items[i];
        const Box r = Box::inset(rects[i], 2, 2);
        if (!r.isVisible()) continue;
        std::vector<TreemapCell> nested;
        if (item.node && item.node->isDirectory && r.width > 110 && r.height > 80) nested = nestedCells(item, r);
        TreemapCell cell = makeCell(item.id, item, r.rect(), 0, 0, item.rank);
        cell.framed = !nested.empty();
        result.push_back(std::move(cell));
        result.insert(result.end(), std::make_move_iterator(nested.begin()), std::make_move_iterator(nested.end()));
    }
    return result;
}

std::optional<size_t> hit(Point point, const std::vector<TreemapCell>& cells) {
    std::optional<size_t> topLevel;
    for (size_t i = cells.size(); i-- > 0;) {
        if (!contains(cells[i].rect, point)) continue;
        if (cells[i].level == 1) return i;
        if (!topLevel && cells[i].level == 0) topLevel = i;
    }
    return topLevel;
}

std::optional<std::string> target(Point point, const std::vector<TreemapCell>& cells,
                                  const std::optional<std::string>& current) {
    const std::optional<size_t> index = hit(point, cells);
    if (!index) return current;
    const TreemapCell& cell = cells[*index];
    if (cell.framed && current && current->starts_with(cell.id + nestedMark)) return current;
    return cell.id;
}

std::optional<size_t> hovered(const std::vector<TreemapCell>& cells, const std::optional<std::string>& hoverID) {
    if (!hoverID) return std::nullopt;
    for (size_t i = cells.size(); i-- > 0;)
        if (cells[i].id == *hoverID) return i;
    return std::nullopt;
}

NodeRef tap(Point point, const std::vector<TreemapCell>& cells) {
    const std::optional<size_t> index = hit(point, cells);
    if (!index) return nullptr;
    const TreemapCell& cell = cells[*index];
    if (cell.node && cell.node->isDirectory) return cell.node;
    if (cell.level == 0) return nullptr;
    for (const TreemapCell& parent : cells)
        if (parent.level == 0 && cell.id.starts_with(parent.id + nestedMark)) return parent.node;
    return nullptr;
}

MapItem pillItem(const TreemapCell& cell) { return {cell.id, cell.node, cell.label, cell.bytes, std::nullopt}; }
}  // namespace Treemap
