// A scanned tree built by hand, for rules that read a scan.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "scan/Scanner.hpp"

namespace testing_support {

/// Builds a scanned tree by hand, so sizes and dates can sit exactly on a
/// rule's threshold. Folders add up their children, largest first, and take
/// the newest date below them unless given one.
class Tree {
public:
    explicit Tree(std::string rootPath) : rootPath(std::move(rootPath)) { root.isDirectory = true; }

    Tree& file(const std::string& rel, int64_t size, std::optional<Date> modified = std::nullopt) {
        Entry& entry = at(rel);
        entry.isDirectory = false;
        entry.size = size;
        entry.modified = modified;
        return *this;
    }
    /// A folder, with its own date and allocation, or left unlisted (no children).
    Tree& folder(const std::string& rel, std::optional<Date> modified = std::nullopt, int64_t ownSize = 0,
                 bool listed = true) {
        Entry& entry = at(rel);
        entry.isDirectory = true;
        entry.modified = modified;
        entry.size = ownSize;
        entry.listed = listed;
        return *this;
    }
    FileNode build() const { return build(root, rootPath, rootPath.substr(rootPath.rfind('/') + 1)); }

private:
    struct Entry {
        std::string name;
        bool isDirectory = true;
        int64_t size = 0;
        std::optional<Date> modified;
        bool listed = true;
        std::vector<Entry> children;
    };

    Entry& at(const std::string& rel) {
        Entry* current = &root;
        size_t start = 0;
        while (start <= rel.size()) {
            size_t slash = rel.find('/', start);
            std::string name = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            auto found = std::find_if(current->children.begin(), current->children.end(),
                                      [&](const Entry& child) { return child.name == name; });
            if (found == current->children.end()) {
                Entry folder;
                folder.name = name;
                current->children.push_back(std::move(folder));
                found = std::prev(current->children.end());
            }
            current = &*found;
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        return *current;
    }

    static FileNode build(const Entry& entry, const std::string& path, const std::string& name) {
        FileNode node{name, path, entry.isDirectory, entry.size, entry.isDirectory ? 0 : 1, entry.modified, {}};
        if (!entry.isDirectory || !entry.listed) return node;
        std::vector<FileNode> children;
        std::optional<Date> newest;
        for (const Entry& child : entry.children) {
            children.push_back(build(child, path + "/" + child.name, child.name));
            node.size += children.back().size;
            node.fileCount += children.back().fileCount;
            if (children.back().modified)
                newest = newest ? std::max(*newest, *children.back().modified) : children.back().modified;
        }
        std::stable_sort(children.begin(), children.end(),
                         [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
        if (!node.modified) node.modified = newest;
        node.children = std::move(children);
        return node;
    }

    std::string rootPath;
    Entry root;
};

}  // namespace testing_support
