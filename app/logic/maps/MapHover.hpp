// The hover state of the Voronoi map: which top-level cell, and which of its
// nested cells, the pointer is over.
#pragma once

#include <optional>

struct MapHover {
    /// Index of the hovered top-level cell in the map's list.
    int blob = 0;
    /// Index of the hovered nested cell within that cell's children; none when
    /// no nested cell is hovered.
    std::optional<int> child;

    /// Equal when the blobs match and the children are both none or both the same index.
    bool operator==(const MapHover&) const = default;
};
