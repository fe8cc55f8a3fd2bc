#include "snapshot/MapSamples.hpp"

#include "snapshot/Gallery.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/maps/MapFades.hpp"
#include "ui/maps/VoronoiView.hpp"

namespace MapSamples {
QImage voronoi(const NodeRef& root, const MapHover& hover) {
    ScopedHooks<Motion::Hooks> still(Motion::Hooks{false});
    auto* view = new VoronoiView(root, [](const NodeRef&) {});
    // Sized before the hover is set, so the hover indexes the layout that is drawn.
    view->resize(sampleSize);
    view->setHover(hover);
    return Gallery::standalone(view, sampleSize);
}

QImage voronoiHover(const NodeRef& root) { return voronoi(root, MapHover{0, 1}); }
QImage voronoiHover2(const NodeRef& root) { return voronoi(root, MapHover{2, 0}); }
}  // namespace MapSamples
