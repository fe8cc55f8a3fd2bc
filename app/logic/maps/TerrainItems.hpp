// The short list of a folder's largest items that the terrain turns into
// mountains: the kept children, ranked, plus one remainder item for the rest.
// The other maps make the same list; this copy serves the terrain alone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Scanner.hpp"

/// One item of a folder as the terrain shows it.
struct TerrainItem {
    /// The child's path; the folder's path followed by "/…" for the remainder.
    std::string id;
    /// The child, sharing ownership of the tree it lies in (so a cached model
    /// that outlives a rescan still points at a live tree); null for the remainder.
    std::shared_ptr<const FileNode> node;
    std::string label;
    int64_t bytes = 0;
    /// Position among the kept children, fixed before sorting; none for the remainder.
    std::optional<int> rank;
};

namespace TerrainItems {
/// The first `limit` children at least size / 400 and at least 1 byte, then a
/// remainder item when what they leave over exceeds that threshold; sorted
/// by bytes, largest first, equal sizes keeping their order. A null node
/// gives no items.
std::vector<TerrainItem> split(const std::shared_ptr<const FileNode>& node, int limit);
}  // namespace TerrainItems
