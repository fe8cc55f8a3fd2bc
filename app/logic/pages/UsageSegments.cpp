#include "pages/UsageSegments.hpp"

#include <algorithm>
#include <initializer_list>

#include "Localization.hpp"

namespace UsageSegments {
const Swatch neutral{0.42, 0.4164743, 0.4076600};

namespace {
int64_t sizeOf(const FileNode& root, std::initializer_list<const char*> names) {
    int64_t total = 0;
    if (!root.children) return 0;
    for (const FileNode& child : *root.children)
        for (const char* name : names)
            if (child.name == name) total += child.size;
    return total;
}

int64_t dotEntries(const FileNode& root) {
    int64_t total = 0;
    if (root.children)
        for (const FileNode& child : *root.children)
            if (!child.name.empty() && child.name.front() == '.') total += child.size;
    return total;
}

std::vector<UsageSegment> homeShares(const FileNode& root) {
    const std::string& home = root.path;
    const FileNode* mobile = root.find(home + "/Library/Mobile Documents");
    const int64_t icloud = mobile ? mobile->size : 0;
    const int64_t library = sizeOf(root, {"Library"}) - icloud;
    const int64_t downloads = sizeOf(root, {"Downloads"});
    const int64_t documents = sizeOf(root, {"Documents"});
    const int64_t desktop = sizeOf(root, {"Desktop"});
    const int64_t media = sizeOf(root, {"Movies", "Music", "Pictures"});
    const int64_t tools = dotEntries(root);
    const int64_t other =
        std::max<int64_t>(0, root.size - library - icloud - downloads - documents - desktop - media - tools);
    const auto& data = Theme::data();
    return {
        {"library", L("App 数据与缓存"), library, home + "/Library", data[2]},
        {"icloud", L("iCloud 云盘本地副本"), icloud, home + "/Library/Mobile Documents", data[5]},
        {"downloads", L("下载"), downloads, home + "/Downloads", data[1]},
        {"documents", L("文稿"), documents, home + "/Documents", data[0]},
        {"tools", L("开发工具与模型"), tools, home, data[7]},
        {"media", L("影音与图片"), media, home + "/Movies", data[3]},
        {"desktop", L("桌面"), desktop, home + "/Desktop", data[6]},
        {"other", L("主目录其他"), other, home, neutral},
    };
}
}  // namespace

std::vector<UsageSegment> segments(const VolumeInfo& volume, const ScanResult* scan) {
    if (!scan) return {{"used", L("已用"), volume.usedBytes, std::nullopt, neutral}};
    std::vector<UsageSegment> result;
    for (UsageSegment& share : homeShares(scan->root))
        if (share.bytes > 0) result.push_back(std::move(share));
    std::stable_sort(result.begin(), result.end(),
                     [](const UsageSegment& a, const UsageSegment& b) { return a.bytes > b.bytes; });
    const int64_t system = volume.usedBytes - scan->root.size;
    if (system > 0) result.push_back({"system", L("系统与应用"), system, std::nullopt, neutral, true});
    return result;
}

std::vector<double> barWidths(const std::vector<UsageSegment>& segments, int64_t total, double width, double gap) {
    const double usable = width - gap * double(segments.size());
    const double divisor = double(std::max<int64_t>(total, 1));
    std::vector<double> widths;
    widths.reserve(segments.size());
    for (const UsageSegment& segment : segments)
        widths.push_back(std::max(usable * double(segment.bytes) / divisor, 5.0));
    return widths;
}

double freeWidth(const std::vector<double>& widths, double width, double gap) {
    double used = 0;
    for (double w : widths) used += w;
    return width - used - gap * double(widths.size());
}

bool showsLabel(const UsageSegment& segment, double width) { return width > 74 && !segment.hatched; }
}  // namespace UsageSegments
