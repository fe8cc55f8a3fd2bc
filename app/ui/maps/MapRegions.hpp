// The regions of a map view as one list, whichever map it is: the top-level
// cells of the Voronoi map and the treemap, the terrain's mountains. Screen
// readers name them and the keyboard steps through them, both through here.
#pragma once

#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include "maps/MapItem.hpp"

class QWidget;

struct MapRegion {
    MapItem item;
    /// Where the region lies, in the view's coordinates (its bounds, or a
    /// small square at a mountain's summit).
    QRectF bounds;
    /// The pill's note (the terrain's idle time), when the map shows one.
    std::optional<std::string> note;
};

namespace MapRegions {
/// Whether `view` is one of the explorer's maps.
bool isMap(const QWidget* view);
/// The regions of `view` in the map's order; none for any other widget.
std::vector<MapRegion> of(QWidget* view);
/// The texts the map's pill shows for `region`, joined with ", ".
QString name(QWidget* view, const MapRegion& region);
/// The index of the region `view` hovers now, if any.
std::optional<int> hovered(QWidget* view);
/// The item the pointer lights inside the hovered region (a Voronoi cell's
/// child, a treemap's nested cell), which the pill names; none otherwise.
NodeRef litItem(QWidget* view);
/// Hovers region `index` as the pointer would (its highlight and pill); none ends the hover.
void hover(QWidget* view, std::optional<int> index);
}  // namespace MapRegions
