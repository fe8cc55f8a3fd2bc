#include "Suggestions.hpp"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

#include "Localization.hpp"
#include "SuggestionPlaces.hpp"
#include "platform/Trash.hpp"

namespace SuggestionEngine {

namespace {

// MARK: Paths and lists

void sortLargestFirst(std::vector<Suggestion>& suggestions) {
    std::stable_sort(suggestions.begin(), suggestions.end(), [](const Suggestion& a, const Suggestion& b) {
        return a.reclaimableBytes > b.reclaimableBytes;
    });
}

bool anyAvailable(const std::vector<BackupDestination>& destinations) {
    return std::any_of(destinations.begin(), destinations.end(),
                       [](const BackupDestination& destination) { return destination.available; });
}

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
    if (!Paths::isInside(home, scan->root.path)) return nullptr;
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
        if (homeNode && Paths::isInside(path, homeNode->path))
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
