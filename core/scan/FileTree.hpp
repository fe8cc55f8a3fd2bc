// The size tree of a folder, counted in bytes allocated on disk, and the
// operations every other component reads that tree with; the scan's result
// that holds it, and their JSON forms.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Support.hpp"
#include "platform/SeenWay.hpp"

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

void to_json(json& document, const SeenFolder& folder);
void to_json(ordered_json& document, const SeenFolder& folder);
void from_json(const json& document, SeenFolder& folder);

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
    /// The folders on the way to the places a clean, the Trash and the scan
    /// cache touch, as the scan met them; absent in a scan stored before
    /// they were kept.
    std::optional<SeenFolders> seen;

    bool operator==(const ScanResult&) const = default;

    /// A copy with another root; the file count follows the new root.
    ScanResult replacingRoot(FileNode newRoot) const;
};

/// Eight keys are required when reading; "seen" may be absent (a scan stored
/// before the ways were kept, which a clean does not act on).
void to_json(json& document, const ScanResult& result);
void to_json(ordered_json& document, const ScanResult& result);
/// The compact text of `result` in field order, as the scan cache keeps it;
/// the same bytes as `JSONOut::dump` of its ordered document, at any depth of
/// its tree. `seen`, when given, is written in place of the result's own.
std::string compactText(const ScanResult& result, const SeenFolders* seen = nullptr);
void from_json(const json& document, ScanResult& result);
