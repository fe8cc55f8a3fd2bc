#include "maps/MapItem.hpp"

#include <algorithm>

#include "text/Localization.hpp"

namespace {
const std::vector<FileNode>& childrenOf(const FileNode& node) {
    static const std::vector<FileNode> none;
    return node.children ? *node.children : none;
}

std::string remainderLabel(int64_t hidden) { return hidden < 1 ? L("小文件") : L("其余 %@ 项", hidden); }
}  // namespace

Swatch MapItem::swatch(std::optional<int> rank) {
    static const Swatch remainder = MapColors::paperTone(0.25);
    static const Swatch overflow = MapColors::paperTone(0.42);
    if (!rank) return remainder;
    const auto& palette = Theme::data();
    if (*rank >= 0 && static_cast<size_t>(*rank) < palette.size()) return palette[static_cast<size_t>(*rank)];
    return overflow;
}

namespace MapColors {
Swatch paperTone(double level) {
    const Swatch& paper = Theme::paper.rgb;
    return {level, level * paper.green / paper.red, level * paper.blue / paper.red};
}

Swatch grey(double level) { return {level, level, level}; }

Swatch lifted(const Swatch& s) {
    auto lift = [](double c) { return c + (1 - c) * 0.25; };
    return {lift(s.red), lift(s.green), lift(s.blue)};
}

Swatch scaled(const Swatch& s, double factor) { return {s.red * factor, s.green * factor, s.blue * factor}; }
}  // namespace MapColors

namespace Treemap {
std::vector<MapItem> split(const NodeRef& node, int limit) {
    if (!node) return {};
    const int64_t threshold = node->size / 400;
    const std::vector<FileNode>& children = childrenOf(*node);
    const size_t considered = std::min(children.size(), static_cast<size_t>(std::max(limit, 0)));

    std::vector<MapItem> items;
    int64_t kept = 0;
    for (size_t i = 0; i < considered; ++i) {
        const FileNode& child = children[i];
        if (child.size < threshold || child.size < 1) continue;
        items.push_back({child.path, NodeRef(node, &child), child.name, child.size, static_cast<int>(items.size())});
        kept += child.size;
    }
    const int64_t rest = node->size - kept;
    if (rest > threshold && rest >= 1) {
        const int64_t hidden = static_cast<int64_t>(children.size()) - static_cast<int64_t>(items.size());
        // The remainder's key, not a path: nothing on disk is opened by it.
        items.push_back({node->path + "/…", nullptr, remainderLabel(hidden), rest, std::nullopt});
    }
    std::stable_sort(items.begin(), items.end(), [](const MapItem& a, const MapItem& b) { return a.bytes > b.bytes; });
    return items;
}

std::vector<double> weights(const std::vector<MapItem>& items) {
    std::vector<double> values;
    values.reserve(items.size());
    for (const MapItem& item : items) values.push_back(static_cast<double>(item.bytes));
    return values;
}
}  // namespace Treemap
