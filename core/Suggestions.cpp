#include "Suggestions.hpp"

#include <sys/stat.h>
#include <tbb/parallel_for.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/locid.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>

#include "Localization.hpp"
#include "SuggestionPlaces.hpp"
#include "platform/Applications.hpp"
#include "platform/ICloud.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"

namespace SuggestionEngine {

namespace {

// MARK: Paths as texts

/// The part of the last component after its final ".", lower-cased; a name
/// that starts with its only "." (".venv") has none.
std::string extensionOf(const std::string& path) {
    std::string name = Paths::lastComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return Text::lowercased(name.substr(dot + 1));
}

int64_t depthOf(const std::string& path) { return static_cast<int64_t>(Paths::componentCount(path)); }

std::string parentPath(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool isInsideFolder(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    std::string prefix = folder.ends_with("/") ? folder : folder + "/";
    return path.starts_with(prefix);
}

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

/// The modification date of the entry itself, links not followed.
std::optional<Date> modificationDate(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    auto since = std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return Date(std::chrono::duration_cast<Date::duration>(since));
}

/// Entry names of a folder; a folder that cannot be listed has none.
std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return names;
    for (auto end = std::filesystem::directory_iterator(); entries != end; entries.increment(error)) {
        if (error) break;
        names.push_back(entries->path().filename().string());
    }
    return names;
}

// MARK: Lists

void sortLargestFirst(std::vector<SuggestionItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
}

void sortLargestFirst(std::vector<Suggestion>& suggestions) {
    std::stable_sort(suggestions.begin(), suggestions.end(), [](const Suggestion& a, const Suggestion& b) {
        return a.reclaimableBytes > b.reclaimableBytes;
    });
}

int64_t totalBytes(const std::vector<SuggestionItem>& items) {
    return std::accumulate(items.begin(), items.end(), int64_t{0},
                           [](int64_t sum, const SuggestionItem& item) { return sum + item.bytes; });
}

std::vector<std::string> pathsOf(const std::vector<SuggestionItem>& items) {
    std::vector<std::string> paths;
    paths.reserve(items.size());
    for (const auto& item : items) paths.push_back(item.path);
    return paths;
}

std::vector<SuggestionItem> firstItems(const std::vector<SuggestionItem>& items, size_t limit) {
    return {items.begin(), items.begin() + static_cast<std::ptrdiff_t>(std::min(limit, items.size()))};
}

bool anyAvailable(const std::vector<BackupDestination>& destinations) {
    return std::any_of(destinations.begin(), destinations.end(),
                       [](const BackupDestination& destination) { return destination.available; });
}

/// Day counts shown to people never go below zero, even for a future date.
int64_t shownDays(int64_t days) { return std::max<int64_t>(days, 0); }

// MARK: The fixed table

std::vector<Known> buildKnown() {
    using enum Risk;
    using enum CleanAction;
    constexpr int64_t usual = 50'000'000;
    constexpr int64_t chatApps = 1'000'000'000;
    auto row = [](const char* id, const char* rel, const char* category, const char* title, const char* detail,
                  Risk risk, CleanAction action, std::optional<std::string> command, int64_t minBytes,
                  bool breakdown) {
        return Known{id, rel, category, L(title), L(detail), risk, action, std::move(command), minBytes, breakdown};
    };
    return {
        row("user-caches", "Library/Caches", "cache", "应用缓存",
            "各 App 的临时缓存,删除后会按需重新生成。清理前建议先退出占用较大的 App。", safe, trashContents,
            std::nullopt, usual, true),
        row("user-logs", "Library/Logs", "cache", "日志文件", "App 与系统诊断日志,删除不影响使用。", safe,
            trashContents, std::nullopt, usual, false),
        row("trash", ".Trash", "system", "废纸篓", "废纸篓里的文件仍然占用磁盘,清倒后才真正释放。", review,
            emptyTrash, std::nullopt, 10'000'000, false),
        row("xcode-derived-data", "Library/Developer/Xcode/DerivedData", "developer",
            "Xcode 构建缓存 (DerivedData)", "编译中间产物,下次构建时自动重建。", safe, trashContents,
            std::nullopt, usual, false),
        row("xcode-archives", "Library/Developer/Xcode/Archives", "developer", "Xcode 归档 (Archives)",
            "历史打包产物,含 dSYM。已上架版本的符号文件可能还需要,确认后再删。", review, trashContents,
            std::nullopt, usual, true),
        row("xcode-device-support", "Library/Developer/Xcode/iOS DeviceSupport", "developer",
            "Xcode 设备支持文件", "连接过的 iOS 版本的调试符号,再次连接设备时会重新生成。", safe,
            trashContents, std::nullopt, usual, false),
        row("simulator-devices", "Library/Developer/CoreSimulator/Devices", "developer", "iOS 模拟器数据",
            "模拟器设备及其中安装的 App 数据。推荐用命令只删除已失效的模拟器。", review, command,
            "xcrun simctl delete unavailable", usual, false),
        row("simulator-caches", "Library/Developer/CoreSimulator/Caches", "developer", "模拟器缓存",
            "dyld 共享缓存,启动模拟器时自动重建。", safe, trashContents, std::nullopt, usual, false),
        row("npm-cache", ".npm/_cacache", "developer", "npm 缓存", "已下载的包缓存,需要时会重新下载。", safe,
            trashContents, "npm cache clean --force", usual, false),
        row("pnpm-store", "Library/pnpm/store", "developer", "pnpm 仓库",
            "pnpm 的全局内容寻址仓库。用命令只清掉不再被引用的包更稳妥。", review, command, "pnpm store prune",
            usual, false),
        row("bun-cache", ".bun/install/cache", "developer", "Bun 安装缓存", "已下载的包缓存,需要时会重新下载。",
            safe, trashContents, std::nullopt, usual, false),
        row("gradle-caches", ".gradle/caches", "developer", "Gradle 缓存", "依赖与构建缓存,下次构建时重新下载。",
            safe, trashContents, std::nullopt, usual, false),
        row("maven-repo", ".m2/repository", "developer", "Maven 本地仓库",
            "已下载的依赖;本地 install 的私有构件不会自动恢复。", review, trashContents, std::nullopt, usual,
            false),
        row("cargo-registry", ".cargo/registry", "developer", "Cargo 注册表缓存",
            "crate 源码与索引缓存,需要时会重新下载。", safe, trashContents, std::nullopt, usual, false),
        row("go-mod-cache", "go/pkg/mod", "developer", "Go 模块缓存", "模块缓存是只读文件,用命令清理最干净。", safe,
            command, "go clean -modcache", usual, false),
        row("dot-cache", ".cache", "developer", "~/.cache(命令行工具缓存)",
            "pip、Hugging Face 模型、各种 CLI 的缓存。大模型文件重新下载很慢,先看明细再决定。", review, manual,
            std::nullopt, usual, true),
        row("cocoapods-repos", ".cocoapods/repos", "developer", "CocoaPods spec 仓库",
            "spec 索引,pod install 时会重新拉取。", safe, trashContents, std::nullopt, usual, false),
        row("ollama-models", ".ollama/models", "developer", "Ollama 本地模型",
            "本地大模型权重。用 ollama list 查看,ollama rm <模型> 删除不用的。", caution, command, "ollama list",
            usual, false),
        row("docker-data", "Library/Containers/com.docker.docker/Data", "developer", "Docker 镜像与卷",
            "Docker Desktop 的虚拟磁盘。不要直接删文件,用 docker 命令回收未使用的镜像、容器和构建缓存。", caution,
            command, "docker system prune -a", usual, false),
        row("android-system-images", "Library/Android/sdk/system-images", "developer", "Android 模拟器系统镜像",
            "可在 Android Studio 的 SDK Manager 中卸载不用的版本。", review, manual, std::nullopt, usual, false),
        row("android-avd", ".android/avd", "developer", "Android 虚拟设备",
            "AVD 的磁盘镜像,可在 Device Manager 中删除不用的设备。", review, manual, std::nullopt, usual, false),
        row("ios-backups", "Library/Application Support/MobileSync/Backup", "backup", "iPhone / iPad 本地备份",
            "设备的本地备份。确认设备已有 iCloud 备份或不再需要后再删。", caution, manual, std::nullopt, usual,
            true),
        row("mail-downloads", "Library/Containers/com.apple.mail/Data/Library/Mail Downloads", "cache",
            "邮件附件缓存", "在邮件 App 中打开过的附件副本,原件仍在邮件里。", safe, trashContents, std::nullopt,
            usual, false),
        row("wechat-data", "Library/Containers/com.tencent.xinWeChat", "apps", "微信聊天文件与缓存",
            "聊天记录、图片、视频和文件。请在 微信 > 设置 > 通用 > 存储空间 里清理,直接删文件会丢聊天记录。",
            caution, manual, std::nullopt, chatApps, false),
        row("qq-data", "Library/Containers/com.tencent.qq", "apps", "QQ 聊天文件与缓存",
            "请在 QQ 的设置里清理缓存与聊天文件。", caution, manual, std::nullopt, chatApps, false),
        row("messages-attachments", "Library/Messages/Attachments", "apps", "信息 App 附件",
            "iMessage 收发的图片与视频。可在文件管理器中按大小查看后清理。", caution, manual,
            std::nullopt, chatApps, false),
    };
}

std::string plainDecimal(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

// MARK: Parts of the analysis

/// The home folder's node when the scan holds the home folder.
const FileNode* homeNodeOf(const ScanResult* scan, const std::string& home) {
    if (!scan) return nullptr;
    if (!isInsideFolder(home, scan->root.path)) return nullptr;
    return scan->root.find(home);
}

/// The bytes all suggestions (or the safe ones) hold together: a path two
/// suggestions name, or one inside another's, is counted once.
int64_t unionOf(const std::vector<Suggestion>& suggestions, const TableFindings& table, const FileNode* homeNode,
                bool safeOnly) {
    std::vector<Region> regions;
    std::map<std::string, int64_t> sizes = table.sizes;
    auto sizeOf = [&](const std::string& path) -> int64_t {
        if (auto found = sizes.find(path); found != sizes.end()) return found->second;
        if (homeNode && nodePathIsInside(path, homeNode->path))
            if (const FileNode* node = homeNode->find(path)) return node->size;
        return 0;
    };
    for (const Suggestion& suggestion : suggestions) {
        if (safeOnly && suggestion.risk != Risk::safe) continue;
        if (auto counted = table.regions.find(suggestion.id); counted != table.regions.end()) {
            regions.insert(regions.end(), counted->second.begin(), counted->second.end());
            continue;
        }
        std::set<std::string> paths(suggestion.paths.begin(), suggestion.paths.end());
        if (suggestion.items)
            for (const SuggestionItem& item : *suggestion.items)
                if (paths.count(item.path)) sizes.emplace(item.path, item.bytes);
        for (const std::string& path : paths) regions.push_back({path, {}});
        // What a rule counts beyond the paths it lists (the large files past
        // the thirtieth) stands as a part of its own, inside no other path.
        int64_t listed = 0;
        for (const std::string& path : paths) listed += sizeOf(path);
        if (suggestion.reclaimableBytes > listed) {
            const std::string unlisted = "unlisted:" + suggestion.id;
            sizes[unlisted] = suggestion.reclaimableBytes - listed;
            regions.push_back({unlisted, {}});
        }
    }
    return unionBytes(regions, sizeOf);
}

void append(std::vector<Suggestion>& to, std::vector<Suggestion> more) {
    for (auto& suggestion : more) to.push_back(std::move(suggestion));
}

}  // namespace

// MARK: Name sets

const std::set<std::string>& embeddedCacheNames() {
    static const std::set<std::string> names = {
        "Cache",       "Caches",         "Code Cache",          "GPUCache",
        "CachedData",  "CacheStorage",   "DawnCache",           "DawnGraphiteCache",
        "DawnWebGPUCache", "ShaderCache", "GrShaderCache",      "component_crx_cache",
        "CachedExtensionVSIXs", "Crashpad",
    };
    return names;
}

const std::set<std::string>& artifactNames() {
    static const std::set<std::string> names = {
        "node_modules", ".next", ".nuxt",       ".turbo",     ".parcel-cache", "Pods",   ".venv",
        "venv",         "DerivedData", ".gradle", ".dart_tool", ".build",        "target",
    };
    return names;
}

const std::set<std::string>& installerExtensions() {
    static const std::set<std::string> extensions = {"dmg",     "pkg",  "iso",        "xip",  "ipsw", "msi", "exe",
                                                     "deb",     "rpm",  "appimage",   "snap", "run",
                                                     "flatpakref"};
    return extensions;
}

// MARK: The fixed table

const std::vector<Known>& known() {
    // Built once per process, in the process's language. A test binary that
    // switches language gets a table of its own per language; none is ever
    // replaced, so references handed out stay valid.
    static std::mutex lock;
    static std::map<Lang, std::unique_ptr<const std::vector<Known>>> tables;
    std::lock_guard guard(lock);
    auto& table = tables[Langs::current()];
    if (!table) table = std::make_unique<const std::vector<Known>>(buildKnown());
    return *table;
}

std::string location(const Known& row, const std::string& home) {
    // The Trash here is the freedesktop one, which need not be the home's ".Trash".
    if (row.rel == ".Trash") return Trash::filesFolder();
    return home + "/" + row.rel;
}

// MARK: Shared texts

int64_t idleDays(Date date, Date now) {
    return std::chrono::duration_cast<std::chrono::seconds>(now - date).count() / 86400;
}

std::string idleLabel(Date date, Date now) {
    int64_t days = idleDays(date, now);
    if (days < 1) return L("今天修改过");
    return L("%@ 天未修改", days);
}

std::string slug(const std::string& path, const std::string& home) {
    std::string rel = path;
    std::string homePrefix = home.ends_with("/") ? home : home + "/";
    if (path == home || path.starts_with(homePrefix)) rel = path.substr(home.size());

    icu::UnicodeString source = icu::UnicodeString::fromUTF8(rel);
    icu::UnicodeString result;
    bool endsWithDash = false;
    for (int32_t index = 0; index < source.length();) {
        UChar32 scalar = source.char32At(index);
        index += U16_LENGTH(scalar);
        bool alphanumeric = (U_GET_GC_MASK(scalar) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
        if (alphanumeric) {
            result.append(scalar);
            endsWithDash = false;
        } else if (!endsWithDash) {
            result.append(UChar32('-'));
            endsWithDash = true;
        }
    }
    int32_t start = 0;
    int32_t end = result.length();
    while (start < end && result.charAt(start) == u'-') ++start;
    while (end > start && result.charAt(end - 1) == u'-') --end;
    icu::UnicodeString trimmed = result.tempSubStringBetween(start, end);
    std::string text;
    trimmed.toLower(icu::Locale::getRoot()).toUTF8String(text);
    return text;
}

std::optional<std::string> offloadCommand(const std::string& path, const std::vector<BackupDestination>& destinations) {
    auto destination = std::find_if(destinations.begin(), destinations.end(),
                                    [](const BackupDestination& candidate) { return candidate.available; });
    if (destination == destinations.end()) return std::nullopt;
    return "ostrevane offload " + Text::shellQuoted(path) + " --to " + Text::shellQuoted(destination->id) +
           " --execute";
}

std::vector<std::string> volumeNotes(const std::optional<VolumeInfo>& root) {
    std::vector<std::string> notes;
    if (!root) return notes;
    if (root->usedPercent >= 90.0)
        notes.push_back(L("启动磁盘已用 %@%%,仅剩 %@。系统需要约 10%% 的空闲空间才能顺畅运行,建议尽快释放。",
                          plainDecimal(root->usedPercent), root->available));
    if (root->purgeableBytes > 5'000'000'000)
        notes.push_back(L("另有 %@ 可清除空间(本地快照、已上传 iCloud 的文件),系统会在需要时自动回收。",
                          Fmt::bytes(root->purgeableBytes)));
    return notes;
}

// MARK: Application caches

std::vector<Suggestion> embeddedCaches(const FileNode& home, const std::string& homePath) {
    constexpr int64_t minimumCache = 5'000'000;
    std::vector<SuggestionItem> items;

    if (const FileNode* support = home.find(homePath + "/Library/Application Support")) {
        const int64_t base = depthOf(support->path);
        support->walk([&](const FileNode& node) {
            if (!node.isDirectory) return false;
            if (node.path == support->path) return true;
            if (embeddedCacheNames().count(node.name)) {
                // Taken whole: nothing inside a cache is listed on its own.
                items.emplace_back(node.path, node.size);
                return false;
            }
            return depthOf(node.path) - base < 6;
        });
    }

    const FileNode* containers = home.find(homePath + "/Library/Containers");
    if (containers && containers->children) {
        for (const FileNode& container : *containers->children) {
            const FileNode* caches = container.find(container.path + "/Data/Library/Caches");
            if (caches && caches->size >= minimumCache) items.emplace_back(caches->path, caches->size);
        }
    }

    std::erase_if(items, [](const SuggestionItem& item) { return item.bytes < minimumCache; });
    sortLargestFirst(items);
    int64_t total = totalBytes(items);
    if (total < 100'000'000) return {};

    return {Suggestion("app-embedded-caches", "cache", L("App 内置缓存(浏览器内核 / 沙盒应用)"),
                       L("Electron、Chromium 内核应用和沙盒 App 放在数据目录里的缓存,共 %@ 处。删除后会重新生成,登录状态不受影响。",
                         items.size()),
                       pathsOf(items), total, Risk::safe, CleanAction::trashContents, std::nullopt,
                       firstItems(items, 12))};
}

// MARK: Downloads, large files and build artefacts

std::vector<Suggestion> downloads(const FileNode& home, const std::string& homePath, Date now) {
    const FileNode* folder = home.find(UserFolders::current(homePath).downloads);
    if (!folder || !folder->children) return {};

    auto note = [&](const FileNode& node) -> std::optional<std::string> {
        if (!node.modified) return std::nullopt;
        return idleLabel(*node.modified, now);
    };

    std::vector<SuggestionItem> installers;
    const int64_t base = depthOf(folder->path);
    folder->walk([&](const FileNode& node) {
        if (!node.isDirectory) {
            if (installerExtensions().count(extensionOf(node.path)))
                installers.emplace_back(node.path, node.size, note(node));
            return false;
        }
        if (extensionOf(node.path) == "app") return false;
        // Downloads itself and one level of folders below it.
        return depthOf(node.path) - base < 2;
    });
    sortLargestFirst(installers);

    std::set<std::string> installerPaths;
    for (const auto& item : installers) installerPaths.insert(item.path);
    std::vector<SuggestionItem> old;
    for (const FileNode& entry : *folder->children) {
        if (installerPaths.count(entry.path) || !entry.modified) continue;
        int64_t days = idleDays(*entry.modified, now);
        if (days >= 90 && entry.size >= 20'000'000)
            old.emplace_back(entry.path, entry.size, L("%@ 天未改动", shownDays(days)));
    }

    std::vector<Suggestion> suggestions;
    if (int64_t total = totalBytes(installers); total >= 50'000'000) {
        suggestions.emplace_back("downloads-installers", "downloads", L("下载目录里的安装包"),
                                 L("%@ 个 dmg / pkg / iso 等安装镜像。App 装好后安装包就不需要了。", installers.size()),
                                 pathsOf(installers), total, Risk::review, CleanAction::trash, std::nullopt,
                                 firstItems(installers, 20));
    }
    if (int64_t total = totalBytes(old); total >= 100'000'000) {
        suggestions.emplace_back("downloads-old", "downloads", L("下载目录里的陈旧文件"),
                                 L("%@ 项超过 90 天没动过。有用的移到文档或归档到网盘,其余可以删除。", old.size()),
                                 pathsOf(old), total, Risk::review, CleanAction::trash, std::nullopt,
                                 firstItems(old, 20));
    }
    return suggestions;
}

std::vector<Suggestion> largeFiles(const FileNode& home, const std::string& homePath,
                                   const std::vector<BackupDestination>& destinations, Date now) {
    constexpr int64_t large = 1'000'000'000;
    static const std::set<std::string> packages = {"app", "photoslibrary", "musiclibrary", "tvlibrary"};

    std::vector<const FileNode*> candidates;
    auto visitor = [&](const FileNode& node) {
        if (node.size < large) return false;
        if (!node.isDirectory) {
            candidates.push_back(&node);
            return false;
        }
        if (packages.count(extensionOf(node.path)) || artifactNames().count(node.name) || node.name == ".git")
            return false;
        return true;
    };
    if (home.children) {
        for (const FileNode& child : *home.children) {
            if (child.name == "Library" || child.name.starts_with(".")) continue;
            if (child.isDirectory)
                child.walk(visitor);
            else if (child.size >= large)
                candidates.push_back(&child);
        }
    }

    // Installers in Downloads belong to the downloads rule.
    const std::string downloadsFolder = UserFolders::current(homePath).downloads;
    std::erase_if(candidates, [&](const FileNode* node) {
        return installerExtensions().count(extensionOf(node->path)) && isInsideFolder(node->path, downloadsFolder);
    });
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const FileNode* a, const FileNode* b) { return a->size > b->size; });
    if (candidates.empty()) return {};

    int64_t total = 0;
    for (const FileNode* node : candidates) total += node->size;
    std::vector<SuggestionItem> items;
    for (size_t index = 0; index < std::min<size_t>(30, candidates.size()); ++index) {
        const FileNode& node = *candidates[index];
        std::optional<std::string> note;
        if (node.modified) note = idleLabel(*node.modified, now);
        items.emplace_back(node.path, node.size, note);
    }

    std::string detail = L("共 %@ 个。逐个确认:不要的删除,要留的", candidates.size()) +
                         (anyAvailable(destinations) ? L("可以用 offload 归档到网盘。") : L("可以归档到外置硬盘或网盘。"));
    return {Suggestion("large-files", "large-files", L("超过 1 GB 的大文件"), detail, pathsOf(items), total,
                       Risk::review, CleanAction::manual, std::nullopt, items)};
}

std::vector<Suggestion> staleArtifacts(const FileNode& home, const std::string& /*homePath*/, Date now) {
    std::vector<SuggestionItem> items;
    auto visitor = [&](const FileNode& node) {
        if (!node.isDirectory || node.size < 50'000'000) return false;
        if (node.name.ends_with(".app") || node.name.ends_with(".photoslibrary")) return false;
        if (!artifactNames().count(node.name)) return true;

        const std::string project = parentPath(node.path);
        // "target" is only Cargo's build folder when Cargo.toml sits beside it.
        if (node.name == "target" && !exists(project + "/Cargo.toml")) return true;

        // How long the project has been idle is judged by its own files, never
        // by the dependency folders that tools rewrite on their own.
        std::optional<Date> newest;
        for (const std::string& entry : listFolder(project)) {
            if (artifactNames().count(entry)) continue;
            if (auto date = modificationDate(project + "/" + entry)) newest = newest ? std::max(*newest, *date) : *date;
        }
        if (newest) {
            int64_t days = idleDays(*newest, now);
            if (days >= 30) items.emplace_back(node.path, node.size, L("项目 %@ 天未改动", shownDays(days)));
        }
        return false;
    };
    if (home.children) {
        for (const FileNode& child : *home.children) {
            if (!child.isDirectory || child.name.starts_with(".") || child.name == "Library" ||
                child.name == "Applications")
                continue;
            child.walk(visitor);
        }
    }

    sortLargestFirst(items);
    int64_t total = totalBytes(items);
    if (total < 100'000'000) return {};
    return {Suggestion("stale-dev-artifacts", "developer", L("闲置项目的依赖与构建目录"),
                       L("%@ 个超过 30 天没动过的项目里的 node_modules / .venv / target 等目录。重新安装依赖即可恢复(虚拟环境里手动装过的包除外)。",
                         items.size()),
                       pathsOf(items), total, Risk::review, CleanAction::trash, std::nullopt, firstItems(items, 20))};
}

// MARK: Cold folders, iCloud and applications

std::vector<Suggestion> coldFolders(const FileNode& home, const std::string& homePath,
                                    const std::vector<BackupDestination>& destinations, Date now) {
    const UserFolders::Folders folders = UserFolders::current(homePath);
    std::vector<std::string> roots = {homePath + "/Movies", folders.videos,   folders.documents,
                                      folders.desktop,      folders.pictures, folders.music};
    std::set<std::string> seenRoots;
    std::erase_if(roots, [&](const std::string& root) { return !seenRoots.insert(root).second; });
    // Libraries and bundles belong to their applications; moving one away breaks it.
    static const std::set<std::string> packages = {"photoslibrary", "app",           "musiclibrary", "tvlibrary",
                                                   "fcpbundle",     "imovielibrary", "lrdata"};
    const std::string destinationHalf = anyAvailable(destinations) ? L("可以先备份到网盘、校验通过后再移除本地副本。")
                                                                   : L("可以归档到外置硬盘或网盘后移除本地副本。");
    std::vector<Suggestion> suggestions;
    for (const std::string& rootPath : roots) {
        const FileNode* root = home.find(rootPath);
        if (!root || !root->children) continue;
        for (const FileNode& child : *root->children) {
            if (!child.isDirectory || child.size < 2'000'000'000 || packages.count(extensionOf(child.path)) ||
                !child.modified)
                continue;
            int64_t days = idleDays(*child.modified, now);
            if (days < 180) continue;
            suggestions.emplace_back("cold-" + slug(child.path, homePath), "archive",
                                     L("长期未用的文件夹:%@", Paths::abbreviate(child.path)),
                                     L("%@ 天没有任何改动。", days) + destinationHalf,
                                     std::vector<std::string>{child.path}, child.size, Risk::review,
                                     CleanAction::offload, offloadCommand(child.path, destinations), std::nullopt);
        }
    }
    sortLargestFirst(suggestions);
    if (suggestions.size() > 10) suggestions.resize(10);
    return suggestions;
}

std::vector<Suggestion> icloudLocalCopies(const FileNode& home, const std::string& homePath) {
    if (!ICloud::isSignedIn()) return {};
    const std::string containersPath = homePath + "/Library/Mobile Documents";
    const FileNode* containers = home.find(containersPath);
    if (!containers || containers->size < 1'000'000'000) return {};

    std::vector<std::string> paths;
    std::vector<SuggestionItem> items;
    if (containers->children) {
        for (const FileNode& container : *containers->children) {
            paths.push_back(container.path);
            if (container.name == ICloud::driveContainerName) {
                // iCloud Drive is shown by its largest entries, not as one block.
                if (!container.children) continue;
                for (size_t index = 0; index < std::min<size_t>(12, container.children->size()); ++index) {
                    const FileNode& entry = (*container.children)[index];
                    items.emplace_back(entry.path, entry.size);
                }
            } else {
                items.emplace_back(container.path, container.size, L("App 的 iCloud 数据"));
            }
        }
    }
    sortLargestFirst(items);
    if (items.size() > 12) items.resize(12);

    return {Suggestion(
        "icloud-local-copies", "archive", L("iCloud 云盘的本地副本"),
        L("这些文件已经在 iCloud 里,但本机还留着完整副本。释放本地副本后文件仍在云端,打开时会自动重新下载;只处理已上传完成的文件,不会丢数据。"),
        paths, containers->size, Risk::review, CleanAction::evict,
        "ostrevane evict " + Text::shellQuoted(containersPath + "/" + ICloud::driveContainerName), items)};
}

std::optional<Suggestion> unusedApps(Date now) {
    struct Candidate {
        std::string path;
        int64_t days;
    };
    std::vector<Candidate> candidates;
    for (const std::string& folder : {std::string("/Applications"), Paths::home() + "/Applications"}) {
        for (const std::string& name : listFolder(folder)) {
            if (!name.ends_with(".app")) continue;
            std::string path = folder + "/" + name;
            auto lastUsed = Applications::lastUsedDate(path);
            if (!lastUsed) continue;
            int64_t days = idleDays(*lastUsed, now);
            if (days < 180) continue;
            candidates.push_back({path, days});
        }
    }
    if (candidates.empty()) return std::nullopt;

    // Only the long-unused ones are measured, and in parallel: this rule runs
    // on every analysis, quick ones included.
    Sizes sizes(candidates.size());
    tbb::parallel_for(size_t{0}, candidates.size(),
                      [&](size_t index) { sizes.set(index, Scanner::quickSize(candidates[index].path)); });
    std::vector<int64_t> measured = sizes.values();

    std::vector<SuggestionItem> items;
    for (size_t index = 0; index < candidates.size(); ++index) {
        if (measured[index] >= 100'000'000)
            items.emplace_back(candidates[index].path, measured[index], L("%@ 天未打开", candidates[index].days));
    }
    sortLargestFirst(items);
    int64_t total = totalBytes(items);
    if (total < 200'000'000) return std::nullopt;
    return Suggestion("unused-apps", "apps", L("半年以上没打开过的 App"),
                      L("%@ 个。不再需要的可以卸载(移到废纸篓);需要时可从 App Store 或官网重新安装。", items.size()),
                      pathsOf(items), total, Risk::review, CleanAction::manual, std::nullopt, firstItems(items, 20));
}

// MARK: The analysis

SuggestionReport analyze(const std::optional<ScanResult>& scan, const std::vector<BackupDestination>& destinations,
                         Date now) {
    return analyze(scan ? &*scan : nullptr, destinations, now);
}

SuggestionReport analyze(const ScanResult* scan, const std::vector<BackupDestination>& destinations, Date now) {
    const std::string home = Paths::home();
    const FileNode* homeNode = homeNodeOf(scan, home);
    const bool full = homeNode != nullptr;

    TableFindings table = tableSuggestions(homeNode, home);
    std::vector<Suggestion> suggestions = std::move(table.suggestions);

    std::vector<std::string> notes;
    if (full) {
        append(suggestions, embeddedCaches(*homeNode, home));
        append(suggestions, staleArtifacts(*homeNode, home, now));
        append(suggestions, downloads(*homeNode, home, now));
        append(suggestions, coldFolders(*homeNode, home, destinations, now));
        append(suggestions, icloudLocalCopies(*homeNode, home));
        append(suggestions, largeFiles(*homeNode, home, destinations, now));
    } else {
        notes.push_back(
            L("当前是快速模式,只检查了常见位置。完整扫描后还会给出大文件、闲置项目依赖、下载目录和可归档文件夹的建议。"));
    }
    if (auto apps = unusedApps(now)) suggestions.push_back(std::move(*apps));

    if (scan && scan->inaccessibleCount >= 1)
        notes.push_back(L("有 %@ 个目录无权读取(如废纸篓、邮件、部分 App 数据)。授予这些目录的读取权限后结果更完整。",
                          scan->inaccessibleCount));
    for (auto& note : volumeNotes(Volumes::info("/"))) notes.push_back(std::move(note));
    if (!anyAvailable(destinations))
        notes.push_back(
            L("未检测到可用的网盘。用 Nextcloud、Dropbox 等客户端同步一个文件夹,在桌面的在线账户里添加 Google 账户,配置一个 rclone 远端,或接上外置硬盘后即可使用归档与备份。"));

    sortLargestFirst(suggestions);

    SuggestionReport report;
    report.generatedAt = now;
    report.mode = full ? "full" : "quick";
    report.totalReclaimableBytes = unionOf(suggestions, table, homeNode, false);
    report.safeReclaimableBytes = unionOf(suggestions, table, homeNode, true);
    report.totalReclaimable = Fmt::bytes(report.totalReclaimableBytes);
    report.safeReclaimable = Fmt::bytes(report.safeReclaimableBytes);
    report.suggestions = std::move(suggestions);
    report.notes = std::move(notes);
    return report;
}

}  // namespace SuggestionEngine
