// Small scan trees for the map suites: folders whose size is their children's
// sum plus what the scanner folded in, children kept largest first.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "maps/MapText.hpp"
#include "scan/Scanner.hpp"

namespace map_trees {
inline FileNode file(const std::string& path, int64_t size) {
    FileNode node;
    node.path = path;
    node.name = path.substr(path.rfind('/') + 1);
    node.size = size;
    node.fileCount = 1;
    return node;
}

/// A folder of `children` (re-rooted below `path`) plus `folded` bytes of small files.
inline FileNode folder(const std::string& path, std::vector<FileNode> children, int64_t folded = 0) {
    FileNode node = file(path, folded);
    node.isDirectory = true;
    std::stable_sort(children.begin(), children.end(),
                     [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
    for (const FileNode& child : children) node.size += child.size;
    node.children = std::move(children);
    return node;
}

inline std::shared_ptr<const FileNode> shared(FileNode node) {
    return std::make_shared<const FileNode>(std::move(node));
}

/// Files "<path>/f0", "<path>/f1", ... of the given sizes.
inline std::vector<FileNode> files(const std::string& path, const std::vector<int64_t>& sizes) {
    std::vector<FileNode> nodes;
    for (size_t i = 0; i < sizes.size(); ++i) nodes.push_back(file(path + "/f" + std::to_string(i), sizes[i]));
    return nodes;
}

/// A fixed-advance measure: each byte that starts a UTF-8 sequence is half
/// the font size wide ("W" twice the size); ascent 0.75 and descent 0.25 of the size (exact in binary).
inline TextBox measure(const std::string& text, const MapFont& style) {
    double width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) width += c == 'W' ? style.size * 2 : style.size * 0.5;
    return {width, style.size * 0.75, style.size * 0.25};
}
}  // namespace map_trees
