// The short list every map of a folder starts from: the folder's largest
// children, each with a rank, and at most one remainder item for the rest;
// plus the map colour of a rank and the paper tones the painters share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/Scanner.hpp"
#include "theme/Theme.hpp"

/// A node shared with the scan tree it lies in. Items and layouts hold their
/// nodes this way (aliasing the tree's owner), so a cached layout that
/// outlives a rescan still points at a live tree.
using NodeRef = std::shared_ptr<const FileNode>;

struct MapItem {
    /// The child's path; for the remainder item, the folder's path + "/…".
    std::string id;
    /// The child; null for the remainder item.
    NodeRef node;
    /// The child's name; for the remainder item "小文件" or "其余 %@ 项", localised.
    std::string label;
    int64_t bytes = 0;
    /// Position among the kept children, fixed before sorting; none for the remainder item.
    std::optional<int> rank;

    /// The map colour of a rank: the palette entry below its size, the
    /// overflow grey from there on (and for a negative rank), the remainder
    /// grey for none.
    static Swatch swatch(std::optional<int> rank);
};

namespace MapColors {
/// `Theme::paper` scaled so that its red channel is `level`.
Swatch paperTone(double level);
/// A grey of one white level in every channel.
Swatch grey(double level);
/// Every channel moved a quarter of the way to white.
Swatch lifted(const Swatch& swatch);
/// Every channel multiplied by `factor`.
Swatch scaled(const Swatch& swatch, double factor);
}  // namespace MapColors

namespace Treemap {
/// The folder's first `limit` children (a negative limit counts as 0) that
/// reach size / 400 and 1 byte, ranked in order, plus a remainder item when
/// what they leave uncovered exceeds size / 400; sorted by bytes, largest
/// first, ties keeping their order. A null node gives no items.
std::vector<MapItem> split(const NodeRef& node, int limit);
/// The items' bytes as doubles, in item order: the weights the layouts take.
std::vector<double> weights(const std::vector<MapItem>& items);
}  // namespace Treemap
