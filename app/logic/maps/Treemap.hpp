// The two-level squarified treemap of a folder: the layout as plain cells, and
// the hover, hit and tap rules, all independent of any drawing layer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "geometry/Geometry.hpp"
#include "maps/MapItem.hpp"

struct TreemapCell {
    /// The item's id; a nested cell's is the parent's id + "›" + its own.
    std::string id;
    NodeRef node;  ///< null for a remainder item
    std::string label;
    int64_t bytes = 0;
    Rect rect;      ///< view coordinates, y down
    int level = 0;  ///< 0 top-level, 1 nested
    bool remainder = false;
    /// A top-level cell that received nested cells; false for nested cells.
    bool framed = false;
    /// A nested cell's position among its siblings, 0 (first) to 1 (last); 0 at level 0.
    double shade = 0;
    /// The top-level item's rank; nested cells carry their parent's.
    std::optional<int> rank;
};

namespace Treemap {
/// The layout rectangle of a view of `viewSize`: its bounds less 10 points on every side.
Rect layoutRect(Size viewSize);
/// Every kept item of the folder (split at 28) squarified into `rect`, each
/// followed by its nested cells (split at 10) when its box is more than 110
/// by 80 points; parents always come before their children.
std::vector<TreemapCell> cells(const NodeRef& node, const Rect& rect);
/// Index of the last nested cell containing `point`, else of the last
/// top-level one; none in gaps and margins. Edges: min inclusive, max exclusive.
std::optional<size_t> hit(Point point, const std::vector<TreemapCell>& cells);
/// The id to hover for a pointer at `point`: `current` in gaps and margins,
/// and while a nested cell of the framed cell under the pointer is hovered;
/// otherwise the id of the cell hit.
std::optional<std::string> target(Point point, const std::vector<TreemapCell>& cells,
                                  const std::optional<std::string>& current);
/// Index of the last cell whose id is `hoverID`; none when nothing matches.
std::optional<size_t> hovered(const std::vector<TreemapCell>& cells, const std::optional<std::string>& hoverID);
/// The folder a single tap at `point` opens: the folder tapped, or for a file
/// or remainder inside a framed box that box's folder; null otherwise.
NodeRef tap(Point point, const std::vector<TreemapCell>& cells);
/// The item the hover pill names for a cell (no rank).
MapItem pillItem(const TreemapCell& cell);
}  // namespace Treemap
