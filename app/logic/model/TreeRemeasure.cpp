#include "model/TreeRemeasure.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace TreeRemeasure {
namespace {

/// The deepest node of the tree that is or holds `path`.
const FileNode& deepestHolder(const FileNode& root, const std::string& path) {
    const FileNode* node = &root;
    while (node->path != path && node->children) {
        auto next = std::find_if(node->children->begin(), node->children->end(),
                                 [&](const FileNode& child) { return Paths::isInside(path, child.path); });
        if (next == node->children->end()) break;
        node = &*next;
    }
    return *node;
}

/// `path` cut one component below `folder`, which holds it.
std::string oneBelow(const std::string& folder, const std::string& path) {
    const size_t start = folder.ends_with('/') ? folder.size() : folder.size() + 1;
    const size_t end = path.find('/', start);
    return end == std::string::npos ? path : path.substr(0, end);
}

/// The path of the place that stands for `path`, and whether the scan kept it as a node.
std::optional<std::pair<std::string, bool>> placePath(const FileNode& root, const std::string& path) {
    if (!Paths::isStrictlyInside(path, root.path)) return std::nullopt;
    const FileNode& holder = deepestHolder(root, path);
    if (holder.path == path) return std::pair{path, true};
    if (!holder.children) return std::nullopt;
    return std::pair{oneBelow(holder.path, path), false};
}

/// How one place changed, and the node it is now when the scan would keep one.
struct Change {
    int64_t bytes = 0;
    int64_t files = 0;
    std::optional<FileNode> node;
};
using Changes = std::map<std::string, Change>;

bool holdsAChange(const FileNode& node, const Changes& changes) {
    return std::any_of(changes.begin(), changes.end(),
                       [&](const auto& entry) { return Paths::isStrictlyInside(entry.first, node.path); });
}

/// The node with the changes inside it applied; a folder that falls below
/// `minNodeSize` is no longer kept, its bytes counted in its parent's totals.
FileNode applying(const FileNode& node, const Changes& changes, int64_t minNodeSize) {
    FileNode result{node.name,      node.path,     node.isDirectory,       node.size,
                    node.fileCount, node.modified, std::vector<FileNode>{}};
    for (const FileNode& child : *node.children) {
        auto change = changes.find(child.path);
        if (change != changes.end()) {
            if (change->second.node) result.children->push_back(*change->second.node);
        } else if (child.children && holdsAChange(child, changes)) {
            FileNode changed = applying(child, changes, minNodeSize);
            if (changed.size >= minNodeSize) result.children->push_back(std::move(changed));
        } else {
            result.children->push_back(child);
        }
    }
    for (const auto& [path, change] : changes) {
        if (!Paths::isStrictlyInside(path, node.path)) continue;
        result.size += change.bytes;
        result.fileCount += change.files;
        // A place the scan counted only in this folder's totals, now large enough to keep.
        const bool wasNode = std::any_of(node.children->begin(), node.children->end(),
                                         [&](const FileNode& child) { return child.path == path; });
        if (!wasNode && change.node && Paths::parentFolder(path) == node.path) result.children->push_back(*change.node);
    }
    result.size = std::max<int64_t>(result.size, 0);
    result.fileCount = std::max<int64_t>(result.fileCount, 0);
    std::stable_sort(result.children->begin(), result.children->end(),
                     [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
    return result;
}

}  // namespace

std::vector<Place> placesOf(const ScanResult& scan, const std::vector<std::string>& paths, const Measure& measure) {
    std::map<std::string, bool> found;
    for (const std::string& path : paths)
        if (auto place = placePath(scan.root, path)) found.insert(*place);
    std::vector<Place> places;
    for (const auto& [path, isNode] : found) {
        const bool nested = std::any_of(found.begin(), found.end(),
                                        [&](const auto& other) { return Paths::isStrictlyInside(path, other.first); });
        if (nested) continue;
        if (isNode) {
            const FileNode* node = scan.root.find(path);
            places.push_back({path, node->size, node->fileCount});
            continue;
        }
        try {
            std::optional<FileNode> now = measure(path, scan.minNodeSize);
            places.push_back({path, now ? now->size : 0, now ? now->fileCount : 0});
        } catch (const std::exception&) {
            // Without what it held before, its change is unknown: it is left as the scan counted it.
        }
    }
    return places;
}

ScanResult remeasured(const ScanResult& scan, const std::vector<Place>& places, const Measure& measure) {
    Changes changes;
    for (const Place& place : places) {
        try {
            std::optional<FileNode> now = measure(place.path, scan.minNodeSize);
            Change change{(now ? now->size : 0) - place.size, (now ? now->fileCount : 0) - place.fileCount, {}};
            if (now && now->size >= scan.minNodeSize) change.node = std::move(now);
            changes.emplace(place.path, std::move(change));
        } catch (const std::exception&) {
            // What it holds now is unknown: it is left as the scan counted it.
        }
    }
    if (changes.empty() || !scan.root.children) return scan;
    return scan.replacingRoot(applying(scan.root, changes, scan.minNodeSize));
}

std::shared_ptr<const ScanResult> around(const std::shared_ptr<const ScanResult>& scan,
                                         const std::vector<std::string>& touched, const Measure& measure,
                                         const std::function<void()>& operation) {
    if (!scan || !measure) {
        operation();
        return nullptr;
    }
    const std::vector<Place> places = placesOf(*scan, touched, measure);
    operation();
    return std::make_shared<const ScanResult>(remeasured(*scan, places, measure));
}

std::optional<FileNode> measureOnDisk(const std::string& path, int64_t minNodeSize) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
    ScanOptions options;
    options.minNodeSize = minNodeSize;
    options.followRootLink = false;
    return Scanner::scan(path, options).root;
}

}  // namespace TreeRemeasure
