#include "clean/Suggestions.hpp"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <map>

#include "base/Paths.hpp"
#include "clean/SeenPlaces.hpp"
#include "clean/SuggestionPlaces.hpp"
#include "text/Localization.hpp"

namespace SuggestionEngine {

namespace {

// Paths and lists

void sortLargestFirst(std::vector<Suggestion>& suggestions) {
    std::stable_sort(suggestions.begin(), suggestions.end(),
                     [](const Suggestion& a, const Suggestion& b) { return a.reclaimableBytes > b.reclaimableBytes; });
}

bool anyAvailable(const std::vector<BackupDestination>& destinations) {
    return std::any_of(destinations.begin(), destinations.end(),
                       [](const BackupDestination& destination) { return destination.available; });
}

std::string plainDecimal(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

// Parts of the analysis

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

// Name sets

const std::set<std::string>& embeddedCacheNames() {
    static const std::set<std::string> names = {
        "Cache",
        "Caches",
        "Code Cache",
        "GPUCache",
        "CachedData",
        "CacheStorage",
        "DawnCache",
        "DawnGraphiteCache",
        "DawnWebGPUCache",
        "ShaderCache",
        "GrShaderCache",
        "component_crx_cache",
        "CachedExtensionVSIXs",
        "Crashpad",
    };
    return names;
}

const std::set<std::string>& artifactNames() {
    static const std::set<std::string> names = {
        "node_modules", ".next",       ".nuxt",   ".turbo",     ".parcel-cache", "Pods",   ".venv",
        "venv",         "DerivedData", ".gradle", ".dart_tool", ".build",        "target",
    };
    return names;
}

const std::set<std::string>& installerExtensions() {
    static const std::set<std::string> extensions = {"dmg", "pkg", "iso",      "xip",  "ipsw", "msi",       "exe",
                                                     "deb", "rpm", "appimage", "snap", "run",  "flatpakref"};
    return extensions;
}

// Shared texts

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
    if (Paths::isInside(path, home)) rel = path.substr(home.size());

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

std::vector<std::string> archivesOf(const std::vector<BackupDestination>& destinations) {
    std::vector<std::string> archives;
    for (const auto& destination : destinations)
        if (destination.path) archives.push_back(Paths::joined(*destination.path, Destinations::backupFolderName));
    return archives;
}

bool insideAny(const std::string& path, const std::vector<std::string>& folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string& folder) { return Paths::isInside(path, folder); });
}

std::optional<std::string> offloadCommand(const std::string& path, const std::vector<BackupDestination>& destinations) {
    // An id that is no UTF-8 (a folder name found on disk) could not be typed
    // back, and would keep the whole report from encoding.
    auto destination = std::find_if(destinations.begin(), destinations.end(), [](const BackupDestination& candidate) {
        return candidate.available && Text::isValidUTF8(candidate.id);
    });
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

// The analysis

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
    const std::vector<std::string> archives = archivesOf(destinations);

    std::vector<std::string> notes;
    // The suggestions whose items a rule picked from the tree.
    std::set<std::string> picked;
    auto appendPicked = [&](std::vector<Suggestion> more) {
        for (const auto& suggestion : more) picked.insert(suggestion.id);
        append(suggestions, std::move(more));
    };
    if (full) {
        append(suggestions, embeddedCaches(*homeNode, home));
        appendPicked(staleArtifacts(*homeNode, home, now, archives));
        appendPicked(downloads(*homeNode, home, now));
        append(suggestions, coldFolders(*homeNode, home, destinations, now));
        append(suggestions, icloudLocalCopies(*homeNode, home));
        append(suggestions, largeFiles(*homeNode, home, destinations, now, archives));
    } else {
        notes.push_back(L(
            "当前是快速模式,只检查了常见位置。完整扫描后还会给出大文件、闲置项目依赖、下载目录和可归档文件夹的建议。"));
    }
    if (auto apps = unusedApps(now)) suggestions.push_back(std::move(*apps));

    if (scan && scan->inaccessibleCount >= 1)
        notes.push_back(L("有 %@ 个目录无权读取(如废纸篓、邮件、部分 App 数据)。授予这些目录的读取权限后结果更完整。",
                          scan->inaccessibleCount));
    for (auto& note : volumeNotes(Volumes::info("/"))) notes.push_back(std::move(note));
    if (!anyAvailable(destinations))
        notes.push_back(L(
            "未检测到可用的网盘。用 Nextcloud、Dropbox 等客户端同步一个文件夹,在桌面的在线账户里添加 Google 账户,配置一个 rclone 远端,或接上外置硬盘后即可使用归档与备份。"));

    // A clean moves only what the scan measured: the places and the ways to
    // them as the walk recorded them; without a scan of the home folder that
    // recorded them, as they are measured now. The items the rules pick from
    // the tree are the ones the walk recorded, as it measured them: with a
    // stored scan, now is the clean, and what stands there now may be
    // anything. Only the folders on their way that the walk kept no record
    // of are measured now. A tree without records (a scan made for no
    // clean) has its items measured as they are picked.
    const bool recorded = full && scan->seen;
    SeenFolders seen = recorded ? *scan->seen : SeenPlaces::measureNow(home);
    for (auto& suggestion : suggestions) {
        if (suggestion.action != CleanAction::trash && suggestion.action != CleanAction::trashContents) continue;
        if (suggestion.action == CleanAction::trash && recorded && picked.count(suggestion.id))
            SeenPlaces::measureWays(suggestion.paths, seen);
        else if (suggestion.action == CleanAction::trash)
            SeenPlaces::measureItems(suggestion.paths, seen);
        suggestion.seen = SeenPlaces::wayOf(seen, suggestion.paths);
    }

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
