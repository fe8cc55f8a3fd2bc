// Reading a scanned tree: lookup, pruning, walking, the largest files, and
// the JSON form shared by the scan cache and the demo data.
#include <algorithm>

#include "base/JSONCoding.hpp"
#include "scan/FileTree.hpp"

namespace {

void sortLargestFirst(std::vector<FileNode>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(), [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
}

bool containsAnyOf(const FileNode& node, const std::set<std::string>& paths) {
    // The set is sorted, so the paths inside the node start at its own path.
    for (auto it = paths.lower_bound(node.path); it != paths.end(); ++it) {
        if (Paths::isInside(*it, node.path)) return true;
        if (!it->starts_with(node.path)) break;
    }
    return false;
}

}  // namespace

const FileNode* FileNode::find(const std::string& wanted) const {
    const FileNode* node = this;
    // Descends one level per step; only the first child containing the path
    // is tried, since children never overlap.
    while (true) {
        if (node->path == wanted) return node;
        if (!Paths::isInside(wanted, node->path) || !node->children) return nullptr;
        const FileNode* next = nullptr;
        for (const auto& child : *node->children) {
            if (Paths::isInside(wanted, child.path)) {
                next = &child;
                break;
            }
        }
        if (!next) return nullptr;
        node = next;
    }
}

FileNode FileNode::removing(const std::set<std::string>& paths) const {
    if (!children || paths.empty()) return *this;
    int64_t removedSize = 0;
    int64_t removedCount = 0;
    std::vector<FileNode> kept;
    kept.reserve(children->size());
    for (const auto& child : *children) {
        if (paths.count(child.path)) {
            removedSize += child.size;
            removedCount += child.fileCount;
        } else if (child.isDirectory && containsAnyOf(child, paths)) {
            FileNode pruned = child.removing(paths);
            removedSize += child.size - pruned.size;
            removedCount += child.fileCount - pruned.fileCount;
            kept.push_back(std::move(pruned));
        } else {
            kept.push_back(child);
        }
    }
    sortLargestFirst(kept);
    FileNode result{name,
                    path,
                    isDirectory,
                    std::max<int64_t>(0, size - removedSize),
                    std::max<int64_t>(0, fileCount - removedCount),
                    modified,
                    std::move(kept)};
    return result;
}

void FileNode::walk(const std::function<bool(const FileNode&)>& visitor) const {
    if (!visitor(*this) || !children) return;
    for (const auto& child : *children) child.walk(visitor);
}

std::vector<FileNode> FileNode::largestFiles(int64_t limit, int64_t minSize,
                                             const std::function<bool(const FileNode&)>& filter) const {
    std::vector<FileNode> collected;
    walk([&](const FileNode& node) {
        if (node.size < minSize) return false;
        if (node.isDirectory) return true;
        if (filter(node)) collected.push_back(node);
        return true;
    });
    sortLargestFirst(collected);
    if (limit < 0) limit = 0;
    if (collected.size() > static_cast<size_t>(limit)) collected.resize(static_cast<size_t>(limit));
    return collected;
}

namespace {

/// Every field of a node but its children, which both directions handle
/// themselves: the reader without recursion, the writer as a list last.
constexpr auto nodeFields = JSONCoding::fields(
    JSONCoding::field("name", &FileNode::name), JSONCoding::field("path", &FileNode::path),
    JSONCoding::field("isDirectory", &FileNode::isDirectory), JSONCoding::field("size", &FileNode::size),
    JSONCoding::field("fileCount", &FileNode::fileCount), JSONCoding::field("modified", &FileNode::modified));

/// One writer for both documents: the sorted one of the tool's output and
/// the field-ordered one of the scan cache file.
template <class Document>
void writeNode(Document& document, const FileNode& node) {
    JSONCoding::write(document, node, nodeFields);
    if (node.children) {
        Document list = Document::array();
        for (const auto& child : *node.children) list.push_back(child);
        document["children"] = std::move(list);
    }
}

}  // namespace

void to_json(json& document, const FileNode& node) { writeNode(document, node); }
void to_json(ordered_json& document, const FileNode& node) { writeNode(document, node); }

namespace {

/// The fields of one node; its children are left as empty slots, one for
/// each element, for the caller to fill.
void readNodeFields(const json& document, FileNode& node) {
    JSONCoding::read(document, node, nodeFields);
    node.children.reset();
    if (const json* value = JSONFields::optional(document, "children")) {
        if (!value->is_array()) throw std::invalid_argument("children is not a list");
        node.children.emplace(value->size());
    }
}

}  // namespace

void from_json(const json& document, FileNode& node) {
    // Level by level through a list of pending nodes rather than by
    // recursion, so the depth of a tree never reaches the stack. Each list of
    // children is sized once before its slots are queued, so the slots stay put.
    std::vector<std::pair<const json*, FileNode*>> pending{{&document, &node}};
    while (!pending.empty()) {
        auto [source, target] = pending.back();
        pending.pop_back();
        readNodeFields(*source, *target);
        if (!target->children) continue;
        const json& list = source->at("children");
        for (size_t index = 0; index < list.size(); ++index)
            pending.emplace_back(&list[index], &(*target->children)[index]);
    }
}

// Options and records

ScanResult ScanResult::replacingRoot(FileNode newRoot) const {
    ScanResult copy = *this;
    copy.fileCount = newRoot.fileCount;
    copy.root = std::move(newRoot);
    return copy;
}

namespace {

constexpr auto resultFields = JSONCoding::fields(
    JSONCoding::field("root", &ScanResult::root), JSONCoding::field("scannedAt", &ScanResult::scannedAt),
    JSONCoding::field("duration", &ScanResult::duration), JSONCoding::field("fileCount", &ScanResult::fileCount),
    JSONCoding::field("inaccessible", &ScanResult::inaccessible),
    JSONCoding::field("inaccessibleCount", &ScanResult::inaccessibleCount),
    JSONCoding::field("cloudOnly", &ScanResult::cloudOnly), JSONCoding::field("minNodeSize", &ScanResult::minNodeSize),
    JSONCoding::field("seen", &ScanResult::seen));

/// The fields that follow the root, in the same order.
constexpr auto resultFieldsAfterRoot = JSONCoding::fields(
    JSONCoding::field("scannedAt", &ScanResult::scannedAt), JSONCoding::field("duration", &ScanResult::duration),
    JSONCoding::field("fileCount", &ScanResult::fileCount),
    JSONCoding::field("inaccessible", &ScanResult::inaccessible),
    JSONCoding::field("inaccessibleCount", &ScanResult::inaccessibleCount),
    JSONCoding::field("cloudOnly", &ScanResult::cloudOnly), JSONCoding::field("minNodeSize", &ScanResult::minNodeSize),
    JSONCoding::field("seen", &ScanResult::seen));

constexpr auto seenFields = JSONCoding::fields(
    JSONCoding::field("link", &SeenFolder::link), JSONCoding::field("device", &SeenFolder::device),
    JSONCoding::field("inode", &SeenFolder::inode), JSONCoding::field("type", &SeenFolder::type));

/// One object in compact text, without its closing brace.
std::string openObjectText(const ordered_json& document) {
    std::string text = JSONOut::dump(document, -1);
    text.pop_back();
    return text;
}

}  // namespace

std::string compactText(const ScanResult& result, const SeenFolders* seen) {
    // A node's fields, then its children in a list: written with a list of
    // pending nodes rather than by recursion, as the reader reads it, so a
    // tree as deep as a scan can make never reaches the stack's end.
    std::string text = "{\"root\":";
    std::vector<std::pair<const FileNode*, size_t>> open{{&result.root, 0}};
    bool entering = true;
    while (!open.empty()) {
        auto& [node, next] = open.back();
        if (entering) {
            ordered_json fields;
            JSONCoding::write(fields, *node, nodeFields);
            text += openObjectText(fields);
            if (node->children) text += ",\"children\":[";
        }
        if (node->children && next < node->children->size()) {
            if (next > 0) text += ',';
            const FileNode* child = &(*node->children)[next++];
            open.emplace_back(child, 0);
            entering = true;
            continue;
        }
        text += node->children ? "]}" : "}";
        open.pop_back();
        entering = false;
    }
    ordered_json rest;
    JSONCoding::write(rest, result, resultFieldsAfterRoot);
    if (seen) rest["seen"] = *seen;
    text += ',';
    text += openObjectText(rest).substr(1);
    text += '}';
    return text;
}

void to_json(json& document, const SeenFolder& folder) { JSONCoding::write(document, folder, seenFields); }
void to_json(ordered_json& document, const SeenFolder& folder) { JSONCoding::write(document, folder, seenFields); }
void from_json(const json& document, SeenFolder& folder) { JSONCoding::read(document, folder, seenFields); }

void to_json(json& document, const ScanResult& result) { JSONCoding::write(document, result, resultFields); }
void to_json(ordered_json& document, const ScanResult& result) { JSONCoding::write(document, result, resultFields); }
void from_json(const json& document, ScanResult& result) { JSONCoding::read(document, result, resultFields); }
