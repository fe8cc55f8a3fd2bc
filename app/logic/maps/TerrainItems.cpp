#include "maps/TerrainItems.hpp"

#include <algorithm>

#include "Localization.hpp"

namespace {

FileNode withoutChildren(const FileNode& node) {
    FileNode copy;
    copy.name = node.name;
    copy.path = node.path;
    copy.isDirectory = node.isDirectory;
    copy.size = node.size;
    copy.fileCount = node.fileCount;
    copy.modified = node.modified;
    return copy;
}

std::string remainderLabel(int64_t hidden) {
    return hidden < 1 ? L("小文件") : L("其余 %@ 项", hidden);
}

}  // namespace

namespace TerrainItems {

std::vector<TerrainPick> pick(const FileNode& node, int limit) {
    const int64_t threshold = node.size / 400;
    std::vector<TerrainPick> picks;
    int64_t kept = 0, all = 0;
    if (node.children) {
        all = int64_t(node.children->size());
        const int64_t first = std::min<int64_t>(std::max(limit, 0), all);
        for (int64_t i = 0; i < first; ++i) {
            const FileNode& child = (*node.children)[size_t(i)];
            if (child.size < threshold || child.size < 1) continue;
            TerrainItem item{child.path, withoutChildren(child), child.name, child.size, int(picks.size())};
            picks.push_back({std::move(item), &child});
            kept += child.size;
        }
    }
    const int64_t rest = node.size - kept;
    if (rest > threshold && rest >= 1) {
        TerrainItem item{node.path + "/…", std::nullopt, remainderLabel(all - int64_t(picks.size())), rest,
                         std::nullopt};
        picks.push_back({std::move(item), nullptr});
    }
    std::stable_sort(picks.begin(), picks.end(),
                     [](const TerrainPick& a, const TerrainPick& b) { return a.item.bytes > b.item.bytes; });
    return picks;
}

std::vector<TerrainItem> split(const FileNode& node, int limit) {
    std::vector<TerrainItem> items;
    for (TerrainPick& chosen : pick(node, limit)) items.push_back(std::move(chosen.item));
    return items;
}

}  // namespace TerrainItems
