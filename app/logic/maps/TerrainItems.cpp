#include "maps/TerrainItems.hpp"

#include <algorithm>

#include "Localization.hpp"

namespace {

std::string remainderLabel(int64_t hidden) { return hidden < 1 ? L("小文件") : L("其余 %@ 项", hidden); }

}  // namespace

namespace TerrainItems {

std::vector<TerrainItem> split(const std::shared_ptr<const FileNode>& node, int limit) {
    if (!node) return {};
    const int64_t threshold = node->size / 400;
    std::vector<TerrainItem> items;
    int64_t kept = 0, all = 0;
    if (node->children) {
        all = int64_t(node->children->size());
        const int64_t first = std::min<int64_t>(std::max(limit, 0), all);
        for (int64_t i = 0; i < first; ++i) {
            const FileNode& child = (*node->children)[size_t(i)];
            if (child.size < threshold || child.size < 1) continue;
            items.push_back({child.path, std::shared_ptr<const FileNode>(node, &child), child.name, child.size,
                             int(items.size())});
            kept += child.size;
        }
    }
    const int64_t rest = node->size - kept;
    if (rest > threshold && rest >= 1)
        items.push_back({node->path + "/…", nullptr, remainderLabel(all - int64_t(items.size())), rest, std::nullopt});
    std::stable_sort(items.begin(), items.end(),
                     [](const TerrainItem& a, const TerrainItem& b) { return a.bytes > b.bytes; });
    return items;
}

}  // namespace TerrainItems
