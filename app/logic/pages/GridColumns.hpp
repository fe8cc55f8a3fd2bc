// How many columns of a grid fit a width: the one rule of every adaptive grid
// (the destinations, the disk card's legend, the example questions).
#pragma once

#include <algorithm>
#include <cmath>

namespace GridColumns {
/// As many columns of at least `minimumColumn`, `gap` apart, as fit in `width`; at least one.
inline int fitting(double width, double minimumColumn, double gap) {
    return std::max(1, int(std::floor((width + gap) / (minimumColumn + gap))));
}
}  // namespace GridColumns
