#include "ui/pages/ExplorerMaps.hpp"

#include "ui/maps/MapPaint.hpp"
#include "ui/maps/TerrainView.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"

namespace {
template <class View>
ExplorerMap mapOf(const NodeRef& folder, std::function<void(const NodeRef&)> onOpen) {
    auto* view = new View(folder, std::move(onOpen));
    return {view, [view](const NodeRef& next) { view->setNode(next); }};
}

ExplorerMap terrainOf(const NodeRef& folder, std::function<void(const NodeRef&)> onOpen) {
    auto* view = new TerrainView;
    // The terrain hands back a node of the folder it shows; the explorer keeps
    // nodes alive through the tree they belong to.
    auto shown = std::make_shared<NodeRef>(folder);
    view->onOpen = [shown, onOpen = std::move(onOpen)](const FileNode& node) {
        if (onOpen) onOpen(NodeRef(*shown, &node));
    };
    view->setNode(folder);
    return {view, [view, shown](const NodeRef& next) {
                *shown = next;
                view->setNode(next);
            }};
}
}  // namespace

namespace {
ExplorerMap viewOf(ExplorerMode mode, const NodeRef& folder, std::function<void(const NodeRef&)> onOpen) {
    switch (mode) {
    case ExplorerMode::terrain: return terrainOf(folder, std::move(onOpen));
    case ExplorerMode::grid: return mapOf<TreemapView>(folder, std::move(onOpen));
    case ExplorerMode::voronoi: break;
    }
    return mapOf<VoronoiView>(folder, std::move(onOpen));
}
}  // namespace

ExplorerMap makeExplorerMap(ExplorerMode mode, const NodeRef& folder, MapKeyActions keys) {
    ExplorerMap made = viewOf(mode, folder, keys.open);
    // Screen readers call the map by what it shows: its kind and its folder.
    auto name = [widget = made.widget, mode](const NodeRef& shown) {
        widget->setAccessibleName(QString::fromStdString(ExplorerModes::mapName(mode, shown->path)));
    };
    name(folder);
    made.show = [show = std::move(made.show), name](const NodeRef& next) {
        show(next);
        name(next);
    };
    MapKeyboard::attach(made.widget, std::move(keys));
    return made;
}
