// The logo: a power diagram of six weighted sites in a square, computed once
// and drawn at any size as shrunk cells with rounded corners.
#pragma once

#include <vector>

#include "geometry/Geometry.hpp"
#include "maps/RoundedPath.hpp"

/// One cell of the logo.
struct BrandCell {
    PointList points;  ///< in the unit square, y pointing down
    bool accent = false;
};

/// A cell ready to fill at a given size.
struct BrandCellShape {
    PathSegments path;
    bool accent = false;
};

namespace BrandMarkCells {
/// The cells in site order, computed on first use and shared; a site whose
/// cell clips away contributes nothing.
const std::vector<BrandCell>& cells();

/// The cells scaled onto a `size` × `size` square, inset by 3.2 % of the size
/// and rounded with a radius of 10 % of it; cells that vanish in the inset are left out.
std::vector<BrandCellShape> shapes(double size);
}  // namespace BrandMarkCells
