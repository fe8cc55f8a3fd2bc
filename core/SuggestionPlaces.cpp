#include "SuggestionPlaces.hpp"

#include <sys/stat.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

#include "Localization.hpp"
#include "Scanner.hpp"
#include "Suggestions.hpp"
#include "base/Files.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"

namespace SuggestionEngine {

namespace {


/// "base/name" for every name: the places a brace list in the table stands for.
std::vector<std::string> each(const std::string& base, std::initializer_list<const char*> names,
                              const std::string& after = "") {
    std::vector<std::string> places;
    for (const char* name : names) places.push_back(base + "/" + name + after);
    return places;
}

std::vector<PlaceRule> buildLinuxRules() {
    using enum Risk;
    using enum CleanAction;
    constexpr int64_t usual = 50'000'000;
    constexpr int64_t chatApps = 1'000'000'000;
    auto row = [](const char* id, std::vector<std::string> places, const char* category, const char* title,
                  const char* detail, Risk risk, CleanAction action, std::optional<std::string> command,
                  int64_t minBytes, Breakdown breakdown) {
        return PlaceRule{id,      std::move(places), category,           L(title), L(detail),
                         risk,    action,            std::move(command), minBytes, breakdown};
    };
    std::vector<std::string> electron;
    for (const char* cache : {"Cache", "Code Cache", "GPUCache", "CachedData", "Service Worker/CacheStorage"})
        electron.push_back(std::string("$XDG_CONFIG_HOME/*/") + cache);
    std::vector<std::string> conda = each("~", {"miniconda3", "anaconda3", "miniforge3", "mambaforge"}, "/pkgs");
    conda.push_back("~/.conda/pkgs");
    return {
        row("xdg-cache-apps",
            each("$XDG_CACHE_HOME",
                 {"mozilla", "google-chrome", "chromium", "BraveSoftware", "microsoft-edge", "thumbnails",
                  "fontconfig", "mesa_shader_cache", "JetBrains", "ms-playwright", "go-build", "ccache", "sccache",
                  "yarn", "pip", "uv", "pypoetry", "deno", "bazel", "electron", "node-gyp", "typescript"}),
            "cache", "浏览器与工具缓存",
            "浏览器、缩略图、字体、着色器和各种开发工具放在 ~/.cache 里的缓存,删除后会按需重新生成。清理前建议先退出浏览器。",
            safe, trashContents, std::nullopt, usual, Breakdown::byPlace),
        row("flatpak-app-caches", {"~/.var/app/*/cache"}, "cache", "Flatpak 应用缓存",
            "Flatpak 应用各自的缓存目录,删除后会重新生成。", safe, trashContents, std::nullopt, usual,
            Breakdown::none),
        row("snap-app-caches", {"~/snap/*/common/.cache", "~/snap/*/current/.cache"}, "cache", "Snap 应用缓存",
            "Snap 应用各自的缓存目录,删除后会重新生成。", safe, trashContents, std::nullopt, usual, Breakdown::none),
        row("electron-caches", electron, "cache", "Electron 应用缓存",
            "VS Code、Slack、Discord 等 Electron 应用的网页与代码缓存,删除后会重新生成,登录状态不受影响。", safe,
            trashContents, std::nullopt, usual, Breakdown::byMatch),
        row("steam-shader-cache",
            {"$XDG_DATA_HOME/Steam/steamapps/shadercache", "~/.steam/steam/steamapps/shadercache"}, "cache",
            "Steam 着色器缓存", "游戏的着色器预编译缓存,下次启动游戏时重新生成。", safe, trashContents,
            std::nullopt, usual, Breakdown::none),
        row("conda-pkgs", conda, "developer", "conda 包缓存",
            "conda 下载和解压过的包。用命令清理,已安装的环境不受影响。", safe, command, "conda clean --all", usual,
            Breakdown::none),
        row("pnpm-store-linux", {"$XDG_DATA_HOME/pnpm/store"}, "developer", "pnpm 仓库",
            "pnpm 的全局内容寻址仓库。用命令只清掉不再被引用的包更稳妥。", review, command, "pnpm store prune",
            usual, Breakdown::none),
        row("huggingface-models", {"$XDG_CACHE_HOME/huggingface"}, "developer", "Hugging Face 模型缓存",
            "下载过的模型与数据集。重新下载大模型很慢,用命令挑选不再需要的删除。", review, manual,
            "huggingface-cli delete-cache", usual, Breakdown::none),
        row("torch-hub", {"$XDG_CACHE_HOME/torch"}, "developer", "PyTorch 模型缓存",
            "torch.hub 下载的预训练权重,需要时会重新下载。", review, trashContents, std::nullopt, usual,
            Breakdown::none),
        row("rustup-toolchains", {"~/.rustup/toolchains"}, "developer", "Rust 工具链",
            "rustup 安装的各版本工具链。用 rustup toolchain list 查看,rustup toolchain uninstall <版本> 删除不用的。",
            review, command, "rustup toolchain list", usual, Breakdown::none),
        row("podman-storage", {"$XDG_DATA_HOME/containers/storage"}, "developer", "Podman 镜像与容器",
            "Podman 的镜像、容器和卷。不要直接删文件,用 podman 命令回收未使用的部分。", caution, command,
            "podman system prune -a", usual, Breakdown::none),
        row("docker-rootless", {"$XDG_DATA_HOME/docker"}, "developer", "Docker 镜像与卷",
            "无 root 模式 Docker 的数据目录。不要直接删文件,用 docker 命令回收未使用的镜像、容器和构建缓存。",
            caution, command, "docker system prune -a", usual, Breakdown::none),
        row("flatpak-unused", {"$XDG_DATA_HOME/flatpak"}, "apps", "Flatpak 应用与运行时",
            "用户安装的 Flatpak 应用和运行时。用命令卸载不再被任何应用使用的运行时。", review, command,
            "flatpak uninstall --unused", usual, Breakdown::none),
        row("android-sdk-images", {"~/Android/Sdk/system-images"}, "developer", "Android 模拟器系统镜像",
            "可在 Android Studio 的 SDK Manager 中卸载不用的版本。", review, manual, std::nullopt, usual,
            Breakdown::none),
        row("vscode-server", {"~/.vscode-server", "~/.cursor-server"}, "developer", "VS Code 远程服务器",
            "VS Code、Cursor 远程连接到本机时安装的服务端与扩展。旧版本可以删除,下次连接时重新安装。", review, manual,
            std::nullopt, usual, Breakdown::none),
        row("chat-apps-linux",
            {"$DOCUMENTS/xwechat_files", "~/.xwechat", "$XDG_CONFIG_HOME/QQ",
             "$XDG_DATA_HOME/TelegramDesktop/tdata/user_data"},
            "apps", "聊天应用的文件与缓存",
            "微信、QQ、Telegram 的聊天记录、图片、视频和文件。请在应用的设置里清理,直接删文件会丢聊天记录。", caution,
            manual, std::nullopt, chatApps, Breakdown::none),
    };
}

bool holds(const FileNode* tree, const std::string& path) {
    if (tree && Paths::isInside(path, tree->path) && tree->find(path)) return true;
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

/// The path with links resolved, so two patterns reaching one folder
/// (~/.steam/steam is a link into the Steam data folder) count it once.
std::string resolvedForm(const std::string& path) {
    std::error_code error;
    auto resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

/// Every path a row claims, in table order, each folder once and none inside
/// another of the same row.
std::vector<PlaceMatch> rowMatches(const PlaceRule& rule, const FileNode* tree, const std::string& home) {
    std::vector<PlaceMatch> found;
    std::set<std::string> seen;
    for (const std::string& pattern : rule.places)
        for (PlaceMatch& match : matchPlace(expandBase(pattern, home), tree))
            if (seen.insert(resolvedForm(match.path)).second) found.push_back(std::move(match));
    std::erase_if(found, [&](const PlaceMatch& match) {
        return std::any_of(found.begin(), found.end(),
                           [&](const PlaceMatch& other) { return Paths::isStrictlyInside(match.path, other.path); });
    });
    return found;
}

/// One row of either table, reduced to what counting needs.
struct TableRow {
    std::string id;
    std::string category;
    std::string title;
    std::string detail;
    Risk risk;
    CleanAction action;
    std::optional<std::string> command;
    int64_t minBytes;
    Breakdown breakdown;
    /// The designed breakdown: the largest children of the one place.
    bool childBreakdown = false;
    std::vector<PlaceMatch> places;
    /// Counted but not shown: the trash folders of other volumes.
    std::vector<std::string> alsoCounted;
};

std::vector<TableRow> rowsFor(const FileNode* homeNode, const std::string& home) {
    std::vector<TableRow> rows;
    for (const Known& row : known()) {
        TableRow entry{row.id,     row.category,    row.title,   row.detail, row.risk, row.action,
                       row.command, row.minBytes,   Breakdown::none, row.breakdown, {}, {}};
        const std::string path = location(row, home);
        entry.places.push_back({path, path});
        if (row.rel == ".Trash") {
            // The Trash also holds what the other file systems' trash folders keep.
            std::vector<std::string> others = Trash::trashFolders();
            if (!others.empty()) others.erase(others.begin());
            entry.alsoCounted = others;
        }
        rows.push_back(std::move(entry));
    }
    for (const PlaceRule& rule : linuxRules()) {
        rows.push_back({rule.id, rule.category, rule.title, rule.detail, rule.risk, rule.action, rule.command,
                        rule.minBytes, rule.breakdown, false, rowMatches(rule, homeNode, home), {}});
    }
    return rows;
}

/// Sizes of every path the rows count, in parallel.
std::map<std::string, int64_t> measure(const std::vector<TableRow>& rows, const FileNode* homeNode) {
    std::vector<std::string> paths;
    std::vector<bool> trashes;
    for (const TableRow& row : rows) {
        for (const PlaceMatch& place : row.places) paths.push_back(place.path), trashes.push_back(false);
        for (const std::string& other : row.alsoCounted) paths.push_back(other), trashes.push_back(true);
    }
    Sizes sizes(paths.size());
    tbb::parallel_for(size_t{0}, paths.size(), [&](size_t index) {
        const std::string& path = paths[index];
        if (trashes[index]) return sizes.set(index, Trash::allocatedSize({path}));
        if (homeNode && Paths::isInside(path, homeNode->path))
            if (const FileNode* node = homeNode->find(path)) return sizes.set(index, node->size);
        std::error_code error;
        sizes.set(index, std::filesystem::exists(path, error) ? Scanner::quickSize(path) : 0);
    });
    std::vector<int64_t> values = sizes.values();
    std::map<std::string, int64_t> result;
    for (size_t index = 0; index < paths.size(); ++index) result.emplace(paths[index], values[index]);
    return result;
}

int64_t sizeIn(const std::map<std::string, int64_t>& sizes, const std::string& path) {
    auto found = sizes.find(path);
    return found == sizes.end() ? 0 : found->second;
}

/// Whether a place counts no more than its own folder (an emptied cache, or
/// one whose contents other rules claim): it has nothing to clean, so it is
/// no item of a suggestion.
bool holdsOnlyItsFolder(const std::string& path, int64_t bytes) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           bytes <= Files::allocatedBytes(status);
}

/// The largest children of a designed breakdown row's place, each less what
/// other rules claim inside it.
std::optional<std::vector<SuggestionItem>> childItems(const FileNode* homeNode, const std::string& path,
                                                      const std::vector<std::string>& claimed,
                                                      const std::map<std::string, int64_t>& sizes) {
    if (!homeNode || !Paths::isInside(path, homeNode->path)) return std::nullopt;
    const FileNode* node = homeNode->find(path);
    if (!node || !node->children) return std::nullopt;
    std::vector<SuggestionItem> items;
    for (const FileNode& child : *node->children) {
        bool whollyClaimed = std::any_of(claimed.begin(), claimed.end(),
                                         [&](const std::string& other) { return Paths::isInside(child.path, other); });
        if (whollyClaimed) continue;
        int64_t bytes = child.size;
        for (const std::string& other : outermostInside(child.path, claimed)) bytes -= sizeIn(sizes, other);
        items.emplace_back(child.path, std::max<int64_t>(bytes, 0));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
    if (items.size() > 8) items.resize(8);
    return items;
}

}  // namespace

const std::vector<PlaceRule>& linuxRules() {
    // One table per language, never replaced, as for the designed rows.
    static std::mutex lock;
    static std::map<Lang, std::unique_ptr<const std::vector<PlaceRule>>> tables;
    std::lock_guard guard(lock);
    auto& table = tables[Langs::current()];
    if (!table) table = std::make_unique<const std::vector<PlaceRule>>(buildLinuxRules());
    return *table;
}

std::string expandBase(const std::string& pattern, const std::string& home) {
    auto slash = pattern.find('/');
    const std::string base = pattern.substr(0, slash);
    const std::string rest = slash == std::string::npos ? "" : pattern.substr(slash);
    if (base == "~") return home + rest;
    if (base == "$XDG_CACHE_HOME") return UserFolders::cacheHome() + rest;
    if (base == "$XDG_DATA_HOME") return UserFolders::dataHome() + rest;
    if (base == "$XDG_CONFIG_HOME") return UserFolders::configHome() + rest;
    if (base == "$DOCUMENTS") return UserFolders::current(home).documents + rest;
    return pattern;
}

std::vector<PlaceMatch> matchPlace(const std::string& pattern, const FileNode* tree) {
    const auto star = pattern.find("/*/");
    if (star == std::string::npos) {
        if (!holds(tree, pattern)) return {};
        return {{pattern, pattern}};
    }
    const std::string folder = pattern.substr(0, star);
    const std::string rest = pattern.substr(star + 2);
    std::set<std::string> names;
    for (std::string& name : Files::entryNames(folder)) names.insert(std::move(name));
    if (tree && Paths::isInside(folder, tree->path))
        if (const FileNode* node = tree->find(folder); node && node->children)
            for (const FileNode& child : *node->children) names.insert(child.name);
    std::vector<PlaceMatch> matches;
    for (const std::string& name : names) {
        const std::string group = folder + "/" + name;
        if (holds(tree, group + rest)) matches.push_back({group + rest, group});
    }
    return matches;
}

std::vector<std::string> outermostInside(const std::string& path, const std::vector<std::string>& claimed) {
    std::vector<std::string> within;
    for (const std::string& other : claimed)
        if (Paths::isStrictlyInside(other, path) && std::find(within.begin(), within.end(), other) == within.end())
            within.push_back(other);
    std::vector<std::string> outermost;
    for (const std::string& candidate : within) {
        bool nested = std::any_of(within.begin(), within.end(),
                                  [&](const std::string& other) { return Paths::isStrictlyInside(candidate, other); });
        if (!nested) outermost.push_back(candidate);
    }
    return outermost;
}

int64_t unionBytes(const std::vector<Region>& regions, const std::function<int64_t(const std::string&)>& sizeOf) {
    // Every boundary path owns the bytes below it that lie below no other
    // boundary; those bytes are in the union when some region covers the
    // path and none of that region's exclusions does.
    std::set<std::string> boundaries;
    for (const Region& region : regions) {
        boundaries.insert(region.path);
        boundaries.insert(region.excluded.begin(), region.excluded.end());
    }
    // The nearest boundary above each one, found by walking up its components.
    std::map<std::string, int64_t> nestedBytes;
    for (const std::string& boundary : boundaries) {
        for (auto slash = boundary.rfind('/'); slash != std::string::npos && slash > 0;
             slash = boundary.rfind('/', slash - 1)) {
            auto enclosing = boundaries.find(boundary.substr(0, slash));
            if (enclosing == boundaries.end()) continue;
            nestedBytes[*enclosing] += sizeOf(boundary);
            break;
        }
    }
    int64_t total = 0;
    for (const std::string& boundary : boundaries) {
        bool covered = std::any_of(regions.begin(), regions.end(), [&](const Region& region) {
            return Paths::isInside(boundary, region.path) &&
                   std::none_of(region.excluded.begin(), region.excluded.end(),
                                [&](const std::string& excluded) { return Paths::isInside(boundary, excluded); });
        });
        if (!covered) continue;
        auto nested = nestedBytes.find(boundary);
        total += std::max<int64_t>(sizeOf(boundary) - (nested == nestedBytes.end() ? 0 : nested->second), 0);
    }
    return total;
}

TableFindings tableSuggestions(const FileNode* homeNode, const std::string& home) {
    std::vector<TableRow> rows = rowsFor(homeNode, home);
    TableFindings findings;
    findings.sizes = measure(rows, homeNode);

    for (size_t index = 0; index < rows.size(); ++index) {
        const TableRow& row = rows[index];
        // What every other row claims is not this row's to count.
        std::vector<std::string> claimed;
        for (size_t other = 0; other < rows.size(); ++other)
            if (other != index)
                for (const PlaceMatch& place : rows[other].places) claimed.push_back(place.path);

        std::vector<Region> regions;
        int64_t bytes = 0;
        std::vector<SuggestionItem> byPlace;
        std::map<std::string, int64_t> byGroup;
        std::vector<std::string> paths;
        for (const PlaceMatch& place : row.places) {
            Region region{place.path, outermostInside(place.path, claimed)};
            int64_t own = sizeIn(findings.sizes, place.path);
            for (const std::string& excluded : region.excluded) own -= sizeIn(findings.sizes, excluded);
            own = std::max<int64_t>(own, 0);
            // The Trash stays the place to open even when empty.
            if (row.action != CleanAction::emptyTrash && holdsOnlyItsFolder(place.path, own)) continue;
            paths.push_back(place.path);
            bytes += own;
            byPlace.emplace_back(place.path, own);
            byGroup[place.group] += own;
            regions.push_back(std::move(region));
        }
        for (const std::string& other : row.alsoCounted) {
            bytes += sizeIn(findings.sizes, other);
            regions.push_back({other, {}});
        }
        if (bytes < row.minBytes) continue;

        std::optional<std::vector<SuggestionItem>> items;
        if (row.childBreakdown && !row.places.empty()) {
            items = childItems(homeNode, row.places.front().path, claimed, findings.sizes);
        } else if (row.breakdown == Breakdown::byPlace) {
            items = byPlace;
        } else if (row.breakdown == Breakdown::byMatch) {
            items.emplace();
            for (const auto& [group, groupBytes] : byGroup) items->emplace_back(group, groupBytes);
        }
        if (items && !row.childBreakdown) {
            std::erase_if(*items, [](const SuggestionItem& item) { return item.bytes <= 0; });
            std::stable_sort(items->begin(), items->end(),
                             [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
        }
        findings.regions[row.id] = std::move(regions);
        findings.suggestions.emplace_back(row.id, row.category, row.title, row.detail, std::move(paths), bytes,
                                          row.risk, row.action, row.command, std::move(items));
    }
    return findings;
}

}  // namespace SuggestionEngine
