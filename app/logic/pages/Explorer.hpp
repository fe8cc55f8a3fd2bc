// The explorer page's decisions on plain values: the map modes and the stored
// setting, the breadcrumb, the child list's rows and colours, the context
// menu's entries with what enables them, and the three confirm requests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Destinations.hpp"
#include "maps/MapItem.hpp"
#include "pages/ConfirmRequest.hpp"

enum class ExplorerMode { voronoi, terrain, grid };

namespace ExplorerModes {
/// The settings key the chosen map is stored under.
inline constexpr std::string_view settingKey = "explorerMode";
/// The stored value of each mode, in segment order: "voronoi", "terrain", "grid".
const std::vector<ExplorerMode>& all();
std::string_view rawValue(ExplorerMode mode);
/// The segment title: "Voronoi" verbatim, the others localised.
std::string label(ExplorerMode mode);
/// What a screen reader calls the map of `mode` showing `folderPath`:
/// "Voronoi map of ~", "Terrain map of ~/Downloads", "Treemap of ~".
std::string mapName(ExplorerMode mode, const std::string& folderPath);
/// The mode a stored value names; none for any other text.
std::optional<ExplorerMode> fromRaw(std::string_view raw);
/// The map a stored value shows: the named one, the Voronoi map for anything else.
ExplorerMode shown(std::string_view raw);
}  // namespace ExplorerModes

struct Crumb {
    std::string name;
    std::string path;
    bool operator==(const Crumb&) const = default;
};

/// One row of the child list.
struct ChildRow {
    NodeRef node;
    /// The child's size relative to the largest child.
    double fraction = 0;
    /// The map colour of a ranked child; none for the others (drawn in the overflow grey).
    std::optional<Swatch> tint;
};

/// One entry of a row's context menu.
struct ExplorerMenuEntry {
    enum class Kind { open, reveal, copyPath, divider, evict, backupTo, offloadTo, trash };
    Kind kind = Kind::divider;
    std::string title;  ///< localised; empty for a divider
    bool enabled = true;
    bool destructive = false;
    /// Why a disabled entry cannot act, shown as its tooltip; empty otherwise.
    std::string reason;
    /// The submenus' entries, one per available destination.
    std::vector<BackupDestination> destinations;
};

/// What the menu's enablement depends on besides the node.
struct ExplorerMenuState {
    std::string home;
    /// Why the cleaner refuses to move the node's path to the Trash (a
    /// protected folder such as the home or ~/Desktop); none when it may.
    std::optional<std::string> trashRefusal;
    /// A clean or release is running (the model's busy suggestion is set).
    bool busy = false;
    std::vector<BackupDestination> destinations;  ///< the available ones only
    /// Why the cleaner refuses the node's place itself: an archive ends with
    /// a move to the Trash, so it is refused alike; none when it may.
    std::optional<std::string> archiveRefusal;
};

/// The model operations the confirm requests run.
struct ExplorerActions {
    std::function<void(const std::vector<std::string>& paths)> trash;
    std::function<void(const std::vector<std::string>& paths, const std::string& key)> evict;
    std::function<void(const std::string& path, const BackupDestination& destination)> backup;
    std::function<void(const std::string& path, const BackupDestination& destination)> offload;
};

namespace Explorer {
/// At most this many children are listed.
inline constexpr size_t maxRows = 300;
/// The operation key of a release started from the explorer.
inline constexpr std::string_view evictKey = "explorer-evict";

/// The root's crumb (abbreviated, "~" for home), then one per path component
/// below the root; just the root's when `nodePath` is not below it.
std::vector<Crumb> crumbs(const std::string& rootPath, const std::string& nodePath);
/// The back button's target: the path without its last component.
std::string parentPath(const std::string& path);
/// The home folder's Library/Mobile Documents itself or anything below it.
bool isInICloud(const std::string& path, const std::string& home);

/// The first 300 children with their bar fractions and the palette colours
/// of the first eight ranked ones. Empty for a file or an empty folder.
std::vector<ChildRow> rows(const NodeRef& node);
/// "%@ · %@ 个文件": the folder's size and its grouped file count.
std::string header(const FileNode& node);

/// The context menu of a row, entries in order, with their enablement.
std::vector<ExplorerMenuEntry> menu(const FileNode& node, const ExplorerMenuState& state);

/// Moving the node to the Trash (destructive), with the iCloud warning when it lives in iCloud.
ConfirmRequest askTrash(const FileNode& node, bool inICloud, const ExplorerActions& actions);
/// Releasing the node's local copy (not destructive).
ConfirmRequest askEvict(const FileNode& node, const ExplorerActions& actions);
/// Backing the node up, then moving the local copy to the Trash (destructive).
ConfirmRequest askOffload(const FileNode& node, const BackupDestination& destination, const ExplorerActions& actions);
}  // namespace Explorer
