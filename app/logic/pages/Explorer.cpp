#include "pages/Explorer.hpp"

#include <algorithm>

#include "Support.hpp"
#include "base/Paths.hpp"
#include "pages/NumberText.hpp"
#include "platform/ICloud.hpp"
#include "text/Localization.hpp"

namespace ExplorerModes {
const std::vector<ExplorerMode>& all() {
    static const std::vector<ExplorerMode> modes{ExplorerMode::voronoi, ExplorerMode::terrain, ExplorerMode::grid};
    return modes;
}

std::string_view rawValue(ExplorerMode mode) {
    switch (mode) {
    case ExplorerMode::terrain: return "terrain";
    case ExplorerMode::grid: return "grid";
    case ExplorerMode::voronoi: break;
    }
    return "voronoi";
}

std::string label(ExplorerMode mode) {
    switch (mode) {
    case ExplorerMode::terrain: return L("地形");
    case ExplorerMode::grid: return L("矩形");
    case ExplorerMode::voronoi: break;
    }
    return "Voronoi";
}

std::string mapName(ExplorerMode mode, const std::string& folderPath) {
    const std::string folder = Paths::abbreviate(folderPath);
    switch (mode) {
    case ExplorerMode::terrain: return L("%@ 的地形图", folder);
    case ExplorerMode::grid: return L("%@ 的矩形树图", folder);
    case ExplorerMode::voronoi: break;
    }
    return L("%@ 的 Voronoi 图", folder);
}

std::optional<ExplorerMode> fromRaw(std::string_view raw) {
    for (ExplorerMode mode : all())
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

ExplorerMode shown(std::string_view raw) { return fromRaw(raw).value_or(ExplorerMode::voronoi); }
}  // namespace ExplorerModes

namespace Explorer {
std::vector<Crumb> crumbs(const std::string& rootPath, const std::string& nodePath) {
    std::vector<Crumb> result{{Paths::abbreviate(rootPath), rootPath}};
    if (nodePath == rootPath || !nodePath.starts_with(rootPath)) return result;
    std::string acc = rootPath;
    const std::string rest = nodePath.substr(rootPath.size());
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        if (end > start) {
            const std::string part = rest.substr(start, end - start);
            acc = Paths::joined(acc, part);
            result.push_back({part, acc});
        }
        start = end + 1;
    }
    return result;
}

std::string parentPath(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.ends_with('/')) trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return trimmed;
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

bool isInICloud(const std::string& path, const std::string& home) {
    return Paths::isInside(path, Paths::joined(home, ICloud::containersInHome));
}

std::vector<ChildRow> rows(const NodeRef& node) {
    std::vector<ChildRow> result;
    if (!node || !node->children || node->children->empty()) return result;
    const std::vector<FileNode>& children = *node->children;
    std::vector<std::pair<std::string, Swatch>> tints;
    for (const MapItem& item : Treemap::split(node, static_cast<int>(Theme::data().size())))
        if (item.rank) tints.emplace_back(item.id, MapItem::swatch(item.rank));
    const double largest = static_cast<double>(std::max<int64_t>(children.front().size, 1));
    const size_t count = std::min(children.size(), maxRows);
    result.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const FileNode& child = children[i];
        ChildRow row{NodeRef(node, &child), static_cast<double>(child.size) / largest, std::nullopt};
        for (const auto& [id, swatch] : tints)
            if (id == child.path) row.tint = swatch;
        result.push_back(std::move(row));
    }
    return result;
}

std::string header(const FileNode& node) {
    return L("%@ · %@ 个文件", Fmt::bytes(node.size), NumberText::grouped(node.fileCount));
}

namespace {
ExplorerMenuEntry entry(ExplorerMenuEntry::Kind kind, std::string title, bool enabled = true, bool destructive = false,
                        std::vector<BackupDestination> destinations = {}) {
    return {kind, std::move(title), enabled, destructive, {}, std::move(destinations)};
}

// An entry the refusal disables up front, rather than failing after the confirmation.
ExplorerMenuEntry refused(ExplorerMenuEntry made, const std::optional<std::string>& refusal) {
    if (!refusal) return made;
    made.enabled = false;
    made.reason = *refusal;
    return made;
}
}  // namespace

std::vector<ExplorerMenuEntry> menu(const FileNode& node, const ExplorerMenuState& state) {
    using Kind = ExplorerMenuEntry::Kind;
    std::vector<ExplorerMenuEntry> entries;
    if (node.isDirectory) entries.push_back(entry(Kind::open, L("打开")));
    entries.push_back(entry(Kind::reveal, L("在文件管理器中显示")));
    entries.push_back(entry(Kind::copyPath, L("拷贝路径")));
    entries.push_back(entry(Kind::divider, ""));
    if (isInICloud(node.path, state.home)) {
        entries.push_back(entry(Kind::evict, L("释放本地副本(文件留在 iCloud)…"), !state.busy));
        entries.push_back(entry(Kind::divider, ""));
    }
    if (!state.destinations.empty()) {
        entries.push_back(entry(Kind::backupTo, L("备份到"), true, false, state.destinations));
        entries.push_back(refused(entry(Kind::offloadTo, L("归档到(备份后移除本地)"), true, false, state.destinations),
                                  state.archiveRefusal));
        entries.push_back(entry(Kind::divider, ""));
    }
    // A clean that is running may be removing this very item: no second move meanwhile.
    entries.push_back(refused(entry(Kind::trash, L("移到废纸篓…"), !state.busy, true), state.trashRefusal));
    return entries;
}

ConfirmRequest askTrash(const FileNode& node, bool inICloud, const ExplorerActions& actions) {
    const std::string size = Fmt::bytes(node.size);
    std::string message =
        inICloud ? L("%@ · 它在 iCloud 里:移到废纸篓后,会同时从 iCloud 和你的其他设备上消失。只想腾出这台电脑"
                     "的空间,请取消,改用右键菜单里的“释放本地副本”。",
                     size)
                 : L("%@ · 可以从废纸篓恢复,清倒废纸篓后才真正释放空间。", size);
    return ConfirmRequest::make(L("把“%@”移到废纸篓?", node.name), std::move(message), L("移到废纸篓"), true,
                                [trash = actions.trash, path = node.path] {
                                    if (trash) trash({path});
                                });
}

ConfirmRequest askEvict(const FileNode& node, const ExplorerActions& actions) {
    return ConfirmRequest::make(
        L("释放“%@”的本地副本?", node.name),
        L("最多腾出 %@。文件留在 iCloud,用到时自动下载;没传完的文件不会动。之后离线时打不开,iCloud "
          "里的那份就是唯一的一份。",
          Fmt::bytes(node.size)),
        L("释放本地副本"), false, [evict = actions.evict, path = node.path] {
            if (evict) evict({path}, std::string(evictKey));
        });
}

ConfirmRequest askOffload(const FileNode& node, const BackupDestination& destination, const ExplorerActions& actions) {
    // Offloading ends with the local copy in the Trash: as destructive as a move to the Trash.
    return ConfirmRequest::make(
        L("归档“%@”到 %@?", node.name, destination.name),
        L("先完整备份并逐个文件校验,全部通过后才把本地的 %@ 移到废纸篓。", Fmt::bytes(node.size)),
        L("备份并移除本地副本"), true, [offload = actions.offload, path = node.path, destination] {
            if (offload) offload(path, destination);
        });
}
}  // namespace Explorer
