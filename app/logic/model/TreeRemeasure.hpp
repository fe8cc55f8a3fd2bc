// Keeping the window's scan equal to the disk after a clean or an emptying of
// the Trash, without a rescan: the places the operation touches (the cleaned
// paths and the Trash) are measured before and after it, and a new tree
// carries the change. Moved items thus leave their folders and appear under
// the Trash when it lies inside the scanned tree; emptied ones leave it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/Scanner.hpp"

namespace TreeRemeasure {

/// The subtree of a path as a scan finds it now, nodes kept from
/// `minNodeSize` up; none when nothing is there. May throw when something is
/// there but cannot be scanned.
using Measure = std::function<std::optional<FileNode>(const std::string& path, int64_t minNodeSize)>;

/// One place of the tree and what the scan counted for it before the operation.
struct Place {
    std::string path;
    int64_t size = 0;
    int64_t fileCount = 0;
};

/// The places to measure again for an operation on `paths`: a path the scan
/// kept as a node, or else the folder one level below the deepest node that
/// holds it (the scan counted it only in that node's totals, so it is small
/// and measured now). Each place once, none inside another; paths outside the
/// tree, the root itself and places that cannot be measured are left out.
std::vector<Place> placesOf(const ScanResult& scan, const std::vector<std::string>& paths, const Measure& measure);

/// A copy of the scan with every place measured again: its node replaced by
/// the fresh one (or gone, when nothing is there or it fell below the scan's
/// smallest node), and its change in size and file count carried by every
/// folder above it. A place that cannot be measured keeps what the scan counted.
ScanResult remeasured(const ScanResult& scan, const std::vector<Place>& places, const Measure& measure);

/// Runs `operation` between the two measures of the places it touches
/// (`touched`, which may name the Trash) and returns the scan measured again;
/// null without a scan or a measure. What `operation` throws goes on up.
std::shared_ptr<const ScanResult> around(const std::shared_ptr<const ScanResult>& scan,
                                         const std::vector<std::string>& touched, const Measure& measure,
                                         const std::function<void()>& operation);

/// The live measure: a scan of the path that does not follow a link at its root.
std::optional<FileNode> measureOnDisk(const std::string& path, int64_t minNodeSize);

}  // namespace TreeRemeasure
