#include "ui/maps/MapRegions.hpp"

#include <QStringList>
#include <algorithm>

#include "maps/MapPill.hpp"
#include "maps/TerrainProjection.hpp"
#include "ui/maps/TerrainView.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"

namespace {
// The square that stands for a mountain: its summit, give or take this much.
constexpr double summitReach = 12;

QRectF boundsOf(const PointList& points) {
    if (points.empty()) return {};
    double left = points.front().x, right = left, top = points.front().y, bottom = top;
    for (const Point& p : points) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    return {left, top, right - left, bottom - top};
}

std::vector<MapRegion> voronoiRegions(VoronoiView& view) {
    std::vector<MapRegion> regions;
    for (const VoronoiBlob& blob : view.blobs()) regions.push_back({blob.item, boundsOf(blob.cell), std::nullopt});
    return regions;
}

std::vector<MapRegion> treemapRegions(TreemapView& view) {
    std::vector<MapRegion> regions;
    for (const TreemapCell& cell : view.cells()) {
        if (cell.level != 0) continue;
        const Rect& r = cell.rect;
        regions.push_back(
            {Treemap::pillItem(cell), QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), std::nullopt});
    }
    return regions;
}

std::vector<MapRegion> terrainRegions(TerrainView& view) {
    std::vector<MapRegion> regions;
    const auto model = view.model();
    if (!model) return regions;
    const IsoProjection projection = IsoProjection::fit(*model, {double(view.width()), double(view.height())});
    for (const TerrainModel::Region& region : model->regions) {
        const Point summit = projection.project(region.summit, 0);
        regions.push_back({region.item,
                           QRectF(summit.x - summitReach, summit.y - summitReach, 2 * summitReach, 2 * summitReach),
                           TerrainScene::idleText(region.item.node.get(), view.clock())});
    }
    return regions;
}

/// The size the pill's share is taken of: the folder the map shows.
int64_t totalOf(QWidget* view) {
    if (auto* map = qobject_cast<MapView*>(view)) return map->node() ? map->node()->size : 0;
    if (auto* terrain = qobject_cast<TerrainView*>(view)) return terrain->node() ? terrain->node()->size : 0;
    return 0;
}

/// The level-0 cell of a treemap whose pill item is `index` in the regions.
std::optional<std::string> treemapID(TreemapView& view, int index) {
    int seen = 0;
    for (const TreemapCell& cell : view.cells()) {
        if (cell.level != 0) continue;
        if (seen++ == index) return cell.id;
    }
    return std::nullopt;
}
}  // namespace

namespace MapRegions {
bool isMap(const QWidget* view) { return qobject_cast<const MapView*>(view) || qobject_cast<const TerrainView*>(view); }

std::vector<MapRegion> of(QWidget* view) {
    if (auto* voronoi = qobject_cast<VoronoiView*>(view)) return voronoiRegions(*voronoi);
    if (auto* treemap = qobject_cast<TreemapView*>(view)) return treemapRegions(*treemap);
    if (auto* terrain = qobject_cast<TerrainView*>(view)) return terrainRegions(*terrain);
    return {};
}

QString name(QWidget* view, const MapRegion& region) {
    const MapPillContent content = MapPill::content(region.item, totalOf(view), region.note);
    QStringList parts{QString::fromStdString(content.name), QString::fromStdString(content.size),
                      QString::fromStdString(content.share)};
    if (content.note) parts << QString::fromStdString(*content.note);
    return parts.join(", ");
}

std::optional<int> hovered(QWidget* view) {
    if (auto* voronoi = qobject_cast<VoronoiView*>(view)) {
        if (voronoi->hover()) return voronoi->hover()->blob;
        return std::nullopt;
    }
    if (auto* treemap = qobject_cast<TreemapView*>(view)) {
        if (!treemap->hoverID()) return std::nullopt;
        int index = 0;
        for (const TreemapCell& cell : treemap->cells()) {
            if (cell.level != 0) continue;
            // A nested cell's id starts with its parent's.
            const std::string& id = *treemap->hoverID();
            if (id == cell.id || id.rfind(cell.id + "›", 0) == 0) return index;
            ++index;
        }
        return std::nullopt;
    }
    if (auto* terrain = qobject_cast<TerrainView*>(view)) return terrain->hover();
    return std::nullopt;
}

NodeRef litItem(QWidget* view) {
    if (auto* voronoi = qobject_cast<VoronoiView*>(view)) {
        const std::optional<VoronoiFocus> focus = VoronoiMap::focus(voronoi->blobs(), voronoi->hover());
        if (focus && focus->child) return VoronoiMap::pillItem(voronoi->blobs(), *focus).node;
    } else if (auto* treemap = qobject_cast<TreemapView*>(view)) {
        for (const TreemapCell& cell : treemap->cells())
            if (cell.level != 0 && cell.id == treemap->hoverID()) return Treemap::pillItem(cell).node;
    }
    return nullptr;
}

void hover(QWidget* view, std::optional<int> index) {
    if (auto* voronoi = qobject_cast<VoronoiView*>(view)) {
        voronoi->setHover(index ? std::optional<MapHover>(MapHover{*index, std::nullopt}) : std::nullopt);
    } else if (auto* treemap = qobject_cast<TreemapView*>(view)) {
        treemap->setHoverID(index ? treemapID(*treemap, *index) : std::nullopt);
    } else if (auto* terrain = qobject_cast<TerrainView*>(view)) {
        terrain->hoverRegion(index);
    }
}
}  // namespace MapRegions
