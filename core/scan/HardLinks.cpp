// The parts of a scan count a multiply-linked file at every link and note
// each link, which keeps every part lock-free. Afterwards the links are
// settled in one pass over the tree: a node loses the bytes of every extra
// count below it.
#include "scan/HardLinks.hpp"

#include <algorithm>
#include <tuple>

bool LinkTally::count(dev_t device, ino_t inode, int64_t allocated, std::string path) {
    counted.push_back({device, inode, allocated, std::move(path)});
    return seen.emplace(device, inode).second;
}

namespace HardLinks {

namespace {

/// An extra count: a link whose bytes belong to another link.
struct Extra {
    std::string path;
    int64_t allocated = 0;
    bool operator<(const Extra& other) const { return path < other.path; }
};
using ExtraIterator = std::vector<Extra>::const_iterator;

std::pair<ExtraIterator, ExtraIterator> inside(const FileNode& node, ExtraIterator begin, ExtraIterator end) {
    auto byPath = [](const Extra& extra, const std::string& path) { return extra.path < path; };
    if (!node.isDirectory) {
        auto first = std::lower_bound(begin, end, node.path, byPath);
        auto last = first;
        while (last != end && last->path == node.path) ++last;
        return {first, last};
    }
    // Everything that starts with "<folder>/": from that prefix up to the
    // same prefix with its slash raised to the next character ('0').
    std::string prefix = node.path.ends_with('/') ? node.path : node.path + '/';
    std::string after = prefix;
    after.back() = static_cast<char>('/' + 1);
    return {std::lower_bound(begin, end, prefix, byPath), std::lower_bound(begin, end, after, byPath)};
}

void lower(FileNode& node, ExtraIterator begin, ExtraIterator end, int64_t minNodeSize) {
    for (auto extra = begin; extra != end; ++extra) node.size -= extra->allocated;
    if (!node.children) return;
    bool changed = false;
    for (auto& child : *node.children) {
        auto [first, last] = inside(child, begin, end);
        if (first == last) continue;
        lower(child, first, last, minNodeSize);
        changed = true;
    }
    if (!changed) return;
    auto& children = *node.children;
    std::erase_if(children, [&](const FileNode& child) { return child.size < minNodeSize; });
    std::stable_sort(children.begin(), children.end(),
                     [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
}

}  // namespace

void countOnce(FileNode& root, std::vector<CountedLink> links, int64_t minNodeSize) {
    std::sort(links.begin(), links.end(), [](const CountedLink& a, const CountedLink& b) {
        return std::tie(a.device, a.inode, a.path) < std::tie(b.device, b.inode, b.path);
    });
    std::vector<Extra> extras;
    for (size_t i = 1; i < links.size(); ++i)
        if (links[i].device == links[i - 1].device && links[i].inode == links[i - 1].inode)
            extras.push_back({std::move(links[i].path), links[i].allocated});
    if (extras.empty()) return;
    std::sort(extras.begin(), extras.end());
    lower(root, extras.cbegin(), extras.cend(), minNodeSize);
}

}  // namespace HardLinks
