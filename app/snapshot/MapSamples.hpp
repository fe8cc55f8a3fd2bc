// The map samples of the snapshot mode: the Voronoi map of the scan's root
// alone at 820 × 680, with a hovered cell opened and one nested cell lit.
#pragma once

#include <QImage>
#include <QSize>

#include "maps/MapHover.hpp"
#include "maps/MapItem.hpp"

namespace MapSamples {
/// The size every map sample is rendered at.
inline const QSize sampleSize{820, 680};

/// The Voronoi map of `root` with `hover` shown at once (no animation), on
/// the page surface. Needs a QApplication.
QImage voronoi(const NodeRef& root, const MapHover& hover);
/// "6-voronoi-hover": cell 0 open, its nested cell 1 lit.
QImage voronoiHover(const NodeRef& root);
/// "6-voronoi-hover-2": cell 2 open, its nested cell 0 lit.
QImage voronoiHover2(const NodeRef& root);
}  // namespace MapSamples
