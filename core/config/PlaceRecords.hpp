// What the tool saw of a place when the user added it, kept beside the
// configuration in a file of its own ("places.json" in the support folder),
// so that a later use can tell when the place has changed under its name:
// a destination folder whose drive is no longer mounted, a plan's source
// that now leads somewhere else.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"

struct PlaceFacts {
    /// A destination folder that lay on a file system of its own when added.
    struct MountedFolder {
        /// The folder as expanded when added.
        std::string folder;
        /// Where that file system was mounted: the folder or one above it.
        std::string mountPoint;
    };
    /// Where a plan's source led when the plan was added.
    struct PlanSource {
        std::string planId;
        /// Links resolved.
        std::string resolved;
    };
    std::vector<MountedFolder> mountedFolders;
    std::vector<PlanSource> planSources;
};

void to_json(json& object, const PlaceFacts::MountedFolder& folder);
void from_json(const json& object, PlaceFacts::MountedFolder& folder);
void to_json(json& object, const PlaceFacts::PlanSource& source);
void from_json(const json& object, PlaceFacts::PlanSource& source);
void to_json(json& object, const PlaceFacts& facts);
void from_json(const json& object, PlaceFacts& facts);

/// Read and replaced as the configuration is: under a lock of its own, the
/// file written atomically; one that cannot be read counts as knowing nothing.
namespace PlaceRecords {

/// "places.json" in the support folder.
std::filesystem::path filePath();

/// A missing or unreadable file gives no facts.
PlaceFacts load();

/// Records whether `folder` (expanded) lies on a file system of its own,
/// replacing what was known of it. Throws OstrevaneError when the file
/// cannot be written.
void rememberDestination(const std::string& folder);

/// Records where the source of plan `planId` leads now. Throws
/// OstrevaneError when the file cannot be written.
void rememberPlanSource(const std::string& planId, const std::string& source);

/// The mount point `folder` lay on when it was added as a destination, when
/// that was a file system of its own; none otherwise or when not known.
std::optional<std::string> mountPointWhenAdded(const std::string& folder);

/// Where the plan's source led when the plan was added; none for a plan
/// added before this was recorded.
std::optional<std::string> planSourceWhenAdded(const std::string& planId);

/// The folder with links resolved as far as it exists; the text itself
/// when it cannot be resolved.
std::string resolvedPath(const std::string& path);

}  // namespace PlaceRecords
