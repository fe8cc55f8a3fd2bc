// The folders a scan of the home folder keeps of the way to the places the
// cleanup rules, the Trash and the scan cache touch (platform/SeenWay.hpp):
// a few hundred at most, taken when the scan is made, so that a clean made
// later from the stored scan keeps to what the scan saw.
#pragma once

#include <string>
#include <vector>

#include "platform/SeenWay.hpp"

namespace SeenPlaces {

/// The way to the scan cache's folder and, with `allPlaces`, to every place
/// of the cleanup rules (each folder a "*" matches now) and to the halves of
/// the home trash, as they are now below `home`.
SeenFolders record(const std::string& home, bool allPlaces);

/// What of `seen` a clean of `paths` keeps to: the way to each path and to
/// the halves of the home trash.
SeenFolders wayOf(const SeenFolders& seen, const std::vector<std::string>& paths);

}  // namespace SeenPlaces
