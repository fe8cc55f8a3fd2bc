#include "pages/UsageSegments.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "base/Paths.hpp"
#include "clean/CleanupRules.hpp"
#include "platform/ICloud.hpp"
#include "platform/UserFolders.hpp"
#include "text/Localization.hpp"

namespace UsageSegments {
const Swatch neutral{0.42, 0.4164743, 0.4076600};

namespace {
/// A folder whose bytes go to one segment, less the folders nested in it
/// that other claims name.
struct Claim {
    std::string path;
    std::string segment;
};

struct Share {
    int64_t bytes = 0;
    /// The segment's folder that holds the most of it, for the legend to open.
    std::string largest;
    int64_t largestBytes = -1;
};

/// What each segment holds: every claimed folder counts once, less what the
/// claims nested in it count; a folder claimed twice keeps its first claim.
std::map<std::string, Share> claimedBytes(const FileNode& root, std::vector<Claim> claims) {
    std::set<std::string> seen;
    std::erase_if(claims, [&](const Claim& claim) {
        return !Paths::isStrictlyInside(claim.path, root.path) || !seen.insert(claim.path).second;
    });
    std::map<std::string, Share> shares;
    for (const Claim& claim : claims) {
        const FileNode* node = root.find(claim.path);
        if (!node) continue;
        int64_t own = node->size;
        for (const Claim& nested : claims) {
            if (!Paths::isStrictlyInside(nested.path, claim.path)) continue;
            const bool outermost = std::none_of(claims.begin(), claims.end(), [&](const Claim& between) {
                return Paths::isStrictlyInside(nested.path, between.path) &&
                       Paths::isStrictlyInside(between.path, claim.path);
            });
            if (!outermost) continue;
            if (const FileNode* inner = root.find(nested.path)) own -= inner->size;
        }
        own = std::max<int64_t>(own, 0);
        Share& share = shares[claim.segment];
        share.bytes += own;
        if (own > share.largestBytes) share.largest = claim.path, share.largestBytes = own;
    }
    return shares;
}

std::vector<Claim> claimsOf(const FileNode& root) {
    const std::string& home = root.path;
    const UserFolders::Folders folders = UserFolders::current(home);
    std::vector<Claim> claims = {
        {Paths::joined(home, ICloud::containersInHome), "icloud"},
        {Paths::joined(home, "Library"), "library"},
        {UserFolders::cacheHome(), "library"},
        {UserFolders::dataHome(), "library"},
        {UserFolders::configHome(), "library"},
        {Paths::joined(home, ".var"), "library"},
        {Paths::joined(home, "snap"), "library"},
        {folders.downloads, "downloads"},
        {folders.documents, "documents"},
        {folders.desktop, "desktop"},
        {Paths::joined(home, "Movies"), "media"},
        {folders.videos, "media"},
        {folders.music, "media"},
        {folders.pictures, "media"},
    };
    // Applications older than the XDG folders keep their data in a hidden
    // folder of the home: browsers, mail and chat, games, runtimes.
    for (const char* app : {".mozilla", ".thunderbird", ".icedove", ".waterfox", ".librewolf", ".floorp",
                            ".moonchild productions", ".opera", ".evolution", ".claws-mail", ".purple", ".zoom",
                            ".steam", ".minecraft", ".factorio", ".PlayOnLinux", ".wine", ".java", ".mono"})
        claims.push_back({Paths::joined(home, app), "library"});
    for (const char* tool : {".rustup", ".cargo", "go", ".vscode-server", "Android"})
        claims.push_back({Paths::joined(home, tool), "tools"});
    for (const char* conda : SuggestionEngine::condaFolders) claims.push_back({Paths::joined(home, conda), "tools"});
    claims.push_back({Paths::joined(UserFolders::dataHome(), "containers"), "tools"});
    // Every other hidden entry of the home is a tool's, after the claims above.
    if (root.children)
        for (const FileNode& child : *root.children)
            if (!child.name.empty() && child.name.front() == '.') claims.push_back({child.path, "tools"});
    return claims;
}

std::vector<UsageSegment> homeShares(const FileNode& root) {
    const std::string& home = root.path;
    const std::map<std::string, Share> shares = claimedBytes(root, claimsOf(root));
    int64_t claimed = 0;
    for (const auto& [segment, share] : shares) claimed += share.bytes;
    auto of = [&](const char* segment) {
        auto found = shares.find(segment);
        return found == shares.end() ? int64_t{0} : found->second.bytes;
    };
    auto folderOf = [&](const char* segment, const std::string& fallback) {
        auto found = shares.find(segment);
        return found == shares.end() || found->second.bytes == 0 ? fallback : found->second.largest;
    };
    const UserFolders::Folders folders = UserFolders::current(home);
    const auto& data = Theme::data();
    // The iCloud segment stays empty, and so hidden, where there is no iCloud Drive.
    return {
        {"library", L("App 数据与缓存"), of("library"), folderOf("library", Paths::joined(home, "Library")), data[2]},
        {"icloud", L("iCloud 云盘本地副本"), of("icloud"), Paths::joined(home, ICloud::containersInHome), data[5]},
        {"downloads", L("下载"), of("downloads"), folders.downloads, data[1]},
        {"documents", L("文稿"), of("documents"), folders.documents, data[0]},
        {"tools", L("开发工具与模型"), of("tools"), home, data[7]},
        {"media", L("影音与图片"), of("media"), folderOf("media", folders.videos), data[3]},
        {"desktop", L("桌面"), of("desktop"), folders.desktop, data[6]},
        {"other", L("主目录其他"), std::max<int64_t>(0, root.size - claimed), home, neutral},
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
