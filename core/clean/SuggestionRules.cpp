// The rules that read the scanned home folder (caches inside applications'
// data, downloads, large files, build artefacts, cold folders, iCloud copies)
// and the one that reads the application folders.
#include "clean/Suggestions.hpp"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "base/DisplayText.hpp"
#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "clean/IdleTimes.hpp"
#include "clean/SuggestionPlaces.hpp"
#include "platform/Applications.hpp"
#include "platform/ICloud.hpp"
#include "platform/UserFolders.hpp"
#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

namespace SuggestionEngine {

namespace {

// Paths as texts

/// The part of the last component after its final ".", lower-cased; a name
/// that starts with its only "." (".venv") has none.
std::string extensionOf(const std::string& path) { return Paths::lowercasedExtension(Paths::lastComponentView(path)); }

int64_t depthOf(const std::string& path) { return static_cast<int64_t>(Paths::componentCount(path)); }

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Lists

void sortLargestFirst(std::vector<SuggestionItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const SuggestionItem& a, const SuggestionItem& b) { return a.bytes > b.bytes; });
}

void sortLargestFirst(std::vector<Suggestion>& suggestions) {
    std::stable_sort(suggestions.begin(), suggestions.end(),
                     [](const Suggestion& a, const Suggestion& b) { return a.reclaimableBytes > b.reclaimableBytes; });
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

/// What a clean measures again of the items a rule picked for being idle
/// `days` days by `now`; idleDays() counts whole days, so the cutoff is exact.
IdleTest idleFor(IdleTest::Measure measure, int64_t days, Date now, std::set<std::string> passedOver = {}) {
    return IdleTest{measure, now - std::chrono::days(days), std::move(passedOver)};
}
}  // namespace

// Application caches

std::vector<Suggestion> embeddedCaches(const FileNode& home, const std::string& homePath) {
    constexpr int64_t minimumCache = 5'000'000;
    std::vector<SuggestionItem> items;

    if (const FileNode* support = home.find(Paths::joined(homePath, "Library/Application Support"))) {
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

    const FileNode* containers = home.find(Paths::joined(homePath, "Library/Containers"));
    if (containers && containers->children) {
        for (const FileNode& container : *containers->children) {
            const FileNode* caches = container.find(Paths::joined(container.path, "Data/Library/Caches"));
            if (caches && caches->size >= minimumCache) items.emplace_back(caches->path, caches->size);
        }
    }

    std::erase_if(items, [](const SuggestionItem& item) { return item.bytes < minimumCache; });
    sortLargestFirst(items);
    int64_t total = totalBytes(items);
    if (total < 100'000'000) return {};

    return {Suggestion(
        "app-embedded-caches", "cache", L("App 内置缓存(浏览器内核 / 沙盒应用)"),
        L("Electron、Chromium 内核应用和沙盒 App 放在数据目录里的缓存,共 %@ 处。删除后会重新生成,登录状态不受影响。",
          items.size()),
        pathsOf(items), total, Risk::safe, CleanAction::trashContents, std::nullopt, firstItems(items, 12))};
}

// Downloads, large files and build artefacts

std::vector<Suggestion> downloads(const FileNode& home, const std::string& homePath, Date now) {
    const FileNode* folder = home.find(UserFolders::current(homePath).downloads);
    if (!folder || !folder->children) return {};

    auto note = [&](const FileNode& node) -> std::optional<std::string> {
        if (!node.modified) return std::nullopt;
        return idleLabel(*node.modified, now);
    };

    constexpr int64_t oldDownloadDays = 90;
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
        if (days >= oldDownloadDays && entry.size >= 20'000'000)
            old.emplace_back(entry.path, entry.size, L("%@ 天未改动", shownDays(days)));
    }

    std::vector<Suggestion> suggestions;
    if (int64_t total = totalBytes(installers); total >= 50'000'000) {
        suggestions.emplace_back(
            "downloads-installers", "downloads", L("下载目录里的安装包"),
            L("%@ 个安装包(.deb、.rpm、.AppImage、.iso 等)。软件装好后安装包就不需要了。", installers.size()),
            pathsOf(installers), total, Risk::review, CleanAction::trash, std::nullopt, firstItems(installers, 20));
    }
    if (int64_t total = totalBytes(old); total >= 100'000'000) {
        suggestions.emplace_back("downloads-old", "downloads", L("下载目录里的陈旧文件"),
                                 L("%@ 项超过 90 天没动过。有用的移到文档或归档到网盘,其余可以删除。", old.size()),
                                 pathsOf(old), total, Risk::review, CleanAction::trash, std::nullopt,
                                 firstItems(old, 20));
        suggestions.back().idle = idleFor(IdleTest::Measure::itself, oldDownloadDays, now);
    }
    return suggestions;
}

std::vector<Suggestion> largeFiles(const FileNode& home, const std::string& homePath,
                                   const std::vector<BackupDestination>& destinations, Date now,
                                   const std::vector<std::string>& archives) {
    constexpr int64_t large = 1'000'000'000;
    static const std::set<std::string> packages = {"app", "photoslibrary", "musiclibrary", "tvlibrary"};

    std::vector<const FileNode*> candidates;
    auto visitor = [&](const FileNode& node) {
        if (node.size < large || insideAny(node.path, archives)) return false;
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
        return installerExtensions().count(extensionOf(node->path)) && Paths::isInside(node->path, downloadsFolder);
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
                         (anyAvailable(destinations) ? L("可以用 offload 归档到网盘。")
                                                     : L("可以归档到外置硬盘或网盘。"));
    return {Suggestion("large-files", "large-files", L("超过 1 GB 的大文件"), detail, pathsOf(items), total,
                       Risk::review, CleanAction::manual, std::nullopt, items)};
}

std::vector<Suggestion> staleArtifacts(const FileNode& home, const std::string& /*homePath*/, Date now,
                                       const std::vector<std::string>& archives) {
    constexpr int64_t staleProjectDays = 30;
    std::vector<SuggestionItem> items;
    auto visitor = [&](const FileNode& node) {
        if (!node.isDirectory || node.size < 50'000'000) return false;
        // What an offload archived is the only copy; nothing there is reinstalled.
        if (insideAny(node.path, archives)) return false;
        if (node.name.ends_with(".app") || node.name.ends_with(".photoslibrary")) return false;
        if (!artifactNames().count(node.name)) return true;

        const std::string project = Paths::parentFolder(node.path);
        // Names that are also everyday words are only a tool's folder beside
        // that tool's project file: "target" Cargo's, "Pods" CocoaPods'.
        if (node.name == "target" && !exists(Paths::joined(project, "Cargo.toml"))) return true;
        if (node.name == "Pods" && !exists(Paths::joined(project, "Podfile"))) return true;

        // How long the project has been idle is judged by its own files, never
        // by the dependency folders that tools rewrite on their own.
        if (std::optional<Date> newest = IdleTimes::newestEntry(project, artifactNames())) {
            int64_t days = idleDays(*newest, now);
            if (days >= staleProjectDays)
                items.emplace_back(node.path, node.size, L("项目 %@ 天未改动", shownDays(days)));
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
    Suggestion stale(
        "stale-dev-artifacts", "developer", L("闲置项目的依赖与构建目录"),
        L("%@ 个超过 30 天没动过的项目里的 node_modules / .venv / target 等目录。重新安装依赖即可恢复(虚拟环境里手动装过的包除外)。",
          items.size()),
        pathsOf(items), total, Risk::review, CleanAction::trash, std::nullopt, firstItems(items, 20));
    stale.idle = idleFor(IdleTest::Measure::siblings, staleProjectDays, now, artifactNames());
    return {stale};
}

// Cold folders, iCloud and applications

std::vector<Suggestion> coldFolders(const FileNode& home, const std::string& homePath,
                                    const std::vector<BackupDestination>& destinations, Date now) {
    const UserFolders::Folders folders = UserFolders::current(homePath);
    std::vector<std::string> roots = {Paths::joined(homePath, "Movies"),
                                      folders.videos,
                                      folders.documents,
                                      folders.desktop,
                                      folders.pictures,
                                      folders.music};
    std::set<std::string> seenRoots;
    std::erase_if(roots, [&](const std::string& root) { return !seenRoots.insert(root).second; });
    // Libraries and bundles belong to their applications; moving one away breaks it.
    static const std::set<std::string> packages = {"photoslibrary", "app",           "musiclibrary", "tvlibrary",
                                                   "fcpbundle",     "imovielibrary", "lrdata"};
    const std::string destinationHalf = anyAvailable(destinations) ? L("可以先备份到网盘、校验通过后再移除本地副本。")
                                                                   : L("可以归档到外置硬盘或网盘后移除本地副本。");
    constexpr int64_t coldDays = 180;
    std::vector<Suggestion> suggestions;
    for (const std::string& rootPath : roots) {
        const FileNode* root = home.find(rootPath);
        if (!root || !root->children) continue;
        for (const FileNode& child : *root->children) {
            if (!child.isDirectory || child.size < 2'000'000'000 || packages.count(extensionOf(child.path)) ||
                !child.modified)
                continue;
            int64_t days = idleDays(*child.modified, now);
            if (days < coldDays) continue;
            suggestions.emplace_back("cold-" + slug(child.path, homePath), "archive",
                                     L("长期未用的文件夹:%@", DisplayText::path(Paths::abbreviate(child.path))),
                                     L("%@ 天没有任何改动。", days) + destinationHalf,
                                     std::vector<std::string>{child.path}, child.size, Risk::review,
                                     CleanAction::offload, offloadCommand(child.path, destinations), std::nullopt);
            suggestions.back().idle = idleFor(IdleTest::Measure::itself, coldDays, now);
        }
    }
    sortLargestFirst(suggestions);
    if (suggestions.size() > 10) suggestions.resize(10);
    return suggestions;
}

std::vector<Suggestion> icloudLocalCopies(const FileNode& home, const std::string& homePath) {
    if (!ICloud::isSignedIn()) return {};
    const std::string containersPath = Paths::joined(homePath, ICloud::containersInHome);
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
        "ostrevane evict " + Text::shellQuoted(Paths::joined(containersPath, ICloud::driveContainerName)), items)};
}

std::optional<Suggestion> unusedApps(Date now) {
    constexpr int64_t unusedDays = 180;
    struct Candidate {
        std::string path;
        int64_t days;
    };
    std::vector<Candidate> candidates;
    for (const std::string& folder : {std::string("/Applications"), Paths::joined(Paths::home(), "Applications")}) {
        for (const std::string& name : Files::entryNames(folder)) {
            if (!name.ends_with(".app")) continue;
            std::string path = Paths::joined(folder, name);
            auto lastUsed = Applications::lastUsedDate(path);
            if (!lastUsed) continue;
            int64_t days = idleDays(*lastUsed, now);
            if (days < unusedDays) continue;
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
    Suggestion unused("unused-apps", "apps", L("半年以上没打开过的 App"),
                      L("%@ 个。不再需要的可以卸载(移到废纸篓);需要时可从 App Store 或官网重新安装。", items.size()),
                      pathsOf(items), total, Risk::review, CleanAction::manual, std::nullopt, firstItems(items, 20));
    unused.idle = idleFor(IdleTest::Measure::lastOpened, unusedDays, now);
    return unused;
}

}  // namespace SuggestionEngine
