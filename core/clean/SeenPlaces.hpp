// The places whose identities a scan records for the work that acts on it
// (platform/SeenWay.hpp): the scan cache's folder, and for a scan holding
// the home folder the places of the cleanup rules and the halves of the
// home trash. The scan takes them from its caller; it knows nothing of
// cleaning.
#pragma once

#include <string>
#include <vector>

#include "platform/SeenWay.hpp"
#include "scan/Scanner.hpp"

namespace SeenPlaces {

/// The options of a scan of `path` that a clean, the Trash or the scan
/// cache may later act on: the places above recorded, with their ways.
ScanOptions scanOptions(const std::string& path);

/// The places of `scanOptions`: `allPlaces` adds the cleanup rules' places,
/// the home trash, and what the rules reading the tree may pick, to the
/// scan cache's folder.
ScanOptions::Recorded places(const std::string& home, bool allPlaces);

/// The same places measured now, by descriptor along their ways: what a
/// clean made without a scan of the home folder keeps to.
SeenFolders measureNow(const std::string& home);

/// Adds the identity of each item of `paths` that `seen` has none of,
/// measured now along the way `seen` keeps (its folders measured the same
/// way where `seen` has none): the items the scan-based rules pick from
/// the tree.
void measureItems(const std::vector<std::string>& paths, SeenFolders& seen);

/// The folders on the way to each item of `paths` that `seen` has none
/// of, measured now as measureItems does; never the items: those the walk
/// recorded, or none.
void measureWays(const std::vector<std::string>& paths, SeenFolders& seen);

/// What of `seen` a clean of `paths` keeps to: each path, the way to it,
/// and the way to the halves of the home trash.
SeenFolders wayOf(const SeenFolders& seen, const std::vector<std::string>& paths);

}  // namespace SeenPlaces
