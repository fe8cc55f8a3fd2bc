// Where a backup may not go: a folder that a clean or emptying the Trash
// would take away, backups and all. An offload leaves its backup as the only
// copy, so such a destination would lose it at the next clean. The rule
// places live above the destinations, so the check lives here, where both
// are known, and the cleaner is handed the destinations it must keep.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "clean/Cleaner.hpp"
#include "config/Destinations.hpp"

namespace DestinationGuard {

/// None when `folder` (expanded) may hold backups; else a sentence naming
/// the folder and the reason: it lies in a Trash, in the place of a rule
/// whose clean moves or empties what it finds (caches, the Trash, the
/// downloads folder, build artefacts' folders), or in the tool's own
/// support or cache folder. Links are resolved for the comparison too.
std::optional<std::string> refusal(const std::string& folder);

/// Throws OstrevaneError with the refusal of the destination's folder, if any.
void check(const BackupDestination& destination);

/// Destinations::resolve, then the refusal of the folder the destination
/// names, so a destination added before this check is refused when used.
/// Throws OstrevaneError with either's sentence.
BackupDestination resolve(const std::string& query);

/// What a clean keeps of the destinations discovery knows (available or
/// not, rclone left out): each one's folder, never moved whole nor with a
/// folder holding it, and the backups in it, none of which are moved.
Cleaner::Keep keep();

}  // namespace DestinationGuard
