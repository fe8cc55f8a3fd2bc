// The size tree of a folder, counted in bytes allocated on disk, and the
// operations every other component reads that tree with.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Support.hpp"

/// One file or folder of a scanned tree. Its path is also its identity.
struct FileNode {
    std::string name;
    std::string path;
    bool isDirectory = false;
    /// Allocated bytes: a folder's own allocation plus everything below it,
    /// including the nodes too small to be kept.
    int64_t size = 0;
    /// Non-folder entries counted in the subtree (1 for a file node).
    int64_t fileCount = 0;
    std::optional<Date> modified;
    /// Kept children, largest first. Absent for files; an empty list for a
    /// folder whose contents were all too small to keep.
    std::optional<std::vector<FileNode>> children;

    const std::string& id() const { return path; }
    bool operator==(const FileNode&) const = default;

    /// The node whose path equals `wanted`, looked for only in the first child
    /// that contains it; null when there is none. Points into this tree.
    const FileNode* find(const std::string& wanted) const;
    /// A copy without the nodes whose paths are in `paths`, with the totals of
    /// their ancestors lowered. The receiver itself is never removed.
    FileNode removing(const std::set<std::string>& paths) const;
    /// Pre-order visit, children largest first; the visitor says whether to
    /// descend into the node it was given.
    void walk(const std::function<bool(const FileNode&)>& visitor) const;
    /// The largest file nodes that pass `filter`, never entering a subtree
    /// smaller than `minSize`.
    std::vector<FileNode> largestFiles(int64_t limit, int64_t minSize,
                                       const std::function<bool(const FileNode&)>& filter) const;
};

/// Keeps its keys in the order they are set; the scan cache file is written
/// in field order.
using ordered_json = nlohmann::ordered_json;

/// "modified" and "children" are written only when present; reading requires
/// the other five keys and refuses values of the wrong type.
void to_json(json& document, const FileNode& node);
void to_json(ordered_json& document, const FileNode& node);
void from_json(const json& document, FileNode& node);

struct ScanResult {
    FileNode root;
    Date scannedAt;
    double duration = 0;
    int64_t fileCount = 0;
    /// The first 100 unreadable paths reported, sorted.
    std::vector<std::string> inaccessible;
    int64_t inaccessibleCount = 0;
    /// At most 200 folders whose contents live only in the cloud, sorted.
    std::vector<std::string> cloudOnly;
    int64_t minNodeSize = 0;

    bool operator==(const ScanResult&) const = default;

    /// A copy with another root; the file count follows the new root.
    ScanResult replacingRoot(FileNode newRoot) const;
};

/// All eight keys are required when reading.
void to_json(json& document, const ScanResult& result);
void to_json(ordered_json& document, const ScanResult& result);
/// The compact text of `result` in field order, as the scan cache keeps it;
/// the same bytes as dumping its ordered document, at any depth of its tree.
/// Throws on invalid UTF-8.
std::string compactText(const ScanResult& result);
void from_json(const json& document, ScanResult& result);

struct ScanOptions {
    /// See `maxNodePath`.
    static constexpr size_t defaultMaxNodePath = 8192;

    int64_t minNodeSize = 1048576;
    /// Entries whose path is longer (in bytes) are counted in their folders
    /// but kept as no node: every node holds its full path, so the paths of a
    /// tree tens of thousands of levels deep would fill gigabytes, and its
    /// cache could not be read back. Twice PATH_MAX keeps every node a path
    /// can name, and more.
    size_t maxNodePath = defaultMaxNodePath;
    /// Absolute paths of folders to pass over, matched against whole paths.
    std::vector<std::string> excludes;
    /// Levels read folder by folder (their subfolders scanned in parallel)
    /// before each deeper folder is walked sequentially on one thread; at
    /// most 64 levels are read that way, whatever the value.
    int64_t fanOutDepth = 4;
    /// A root that is a symbolic link to a folder is scanned as that folder,
    /// its tree shown under the link's path.
    bool followRootLink = true;

    /// Reads OSTREVANE_FANOUT each time, so a test or a user can change it.
    ScanOptions();
    /// A whole decimal number with an optional sign that fits in 64 bits.
    static std::optional<int64_t> parseFanOut(std::string_view text);
};

struct ScanProgress {
    int64_t files = 0;
    int64_t bytes = 0;
    std::string currentPath;
};

/// May be called from any of the scan's threads, never under a lock of the scan.
using ScanProgressHandler = std::function<void(const ScanProgress&)>;

namespace Scanner {
/// Scans a file or folder. Throws OstrevaneError when the path cannot be
/// examined or when `cancel` was cancelled; never returns a partial tree.
ScanResult scan(const std::string& path, const ScanOptions& options = ScanOptions(),
                const CancelTokenPtr& cancel = nullptr, const ScanProgressHandler& progress = nullptr);
/// The allocated size of a path, 0 when it cannot be measured. A link is
/// measured as the link, not as what it names.
int64_t quickSize(const std::string& path);
}  // namespace Scanner
