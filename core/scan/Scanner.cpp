// The scanner mixes two walks. The top levels are read folder by folder and
// their subfolders scanned in parallel; below the fan-out depth each folder is
// walked sequentially on one thread (ScanWalk.cpp), in the manner of fts(3)
// with FTS_PHYSICAL | FTS_XDEV | FTS_NOCHDIR, but with descriptor-relative
// calls (getdents64 and fstatat on the folder's descriptor, each folder opened
// relative to its parent's), which spares the kernel a full path lookup per
// file and puts no limit on depth. Multiply-linked files count at every link
// while the parts run and are settled once the tree is complete (HardLinks).
#include "scan/Scanner.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>

#include "base/DisplayText.hpp"
#include "base/UniqueFd.hpp"
#include "platform/FileSystem.hpp"
#include "platform/Platform.hpp"
#include "scan/HardLinks.hpp"
#include "scan/ParallelDescent.hpp"
#include "scan/ScanWalk.hpp"
#include "text/Localization.hpp"

namespace {

using namespace ScanWalk;

constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Each folder of a directory-read level holds its descriptor until its
// subfolders are done, so the levels read that way are capped; deeper
// folders are walked, which needs few descriptors at any depth.
constexpr int64_t readLevelLimit = 64;
// With a cold cache every folder and inode read waits on the device, and
// with one thread per core the device never sees more requests at once than
// there are cores: a scan of 1.5 million files then spent its time in the
// per-request cost of the kernel (submission, interrupt, wake-up) with the
// device's queue mostly empty. More threads than cores keep the queue full;
// with a warm cache they cost little, since each blocks only briefly.
constexpr unsigned threadsPerCore = 4;
constexpr unsigned threadLimit = 64;

int64_t epochSeconds(const Date& date) {
    return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
}

/// What one level's parallel loop keeps of its subfolders: their totals,
/// added as each is done, and the nodes the tree keeps, in directory order.
/// A subfolder too small to keep costs nothing while its siblings run: on a
/// home of many packages most are, and every thread holds such a level.
class SubfolderResults {
public:
    explicit SubfolderResults(const ScanOptions& options) : options(options) {}

    void add(size_t index, std::optional<FileNode> node) {
        if (!node) return;
        std::lock_guard guard(lock);
        bytes += node->size;
        files += node->fileCount;
        if (node->fileCount >= 1 && node->modified) newest = std::max(newest, epochSeconds(*node->modified));
        if (node->size >= options.minNodeSize && node->path.size() <= options.maxNodePath)
            kept.emplace_back(index, std::move(*node));
    }

    int64_t bytes = 0;
    int64_t files = 0;
    int64_t newest = 0;

    /// Call once the loop is done.
    void appendKeptTo(std::vector<FileNode>& nodes) {
        std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& entry : kept) nodes.push_back(std::move(entry.second));
        kept.clear();
    }

private:
    const ScanOptions& options;
    std::mutex lock;
    std::vector<std::pair<size_t, FileNode>> kept;
};

/// One folder of a directory-read level: its files are counted here, its
/// subfolders scanned in parallel one level deeper, each opened relative to
/// this folder's descriptor, which stays open until they are done.
std::optional<FileNode> scanTree(const Place& place, int64_t fanOut, ScanContext& ctx) {
    if (ctx.cancelled()) return std::nullopt;
    const std::string& path = place.path;
    Facts own;
    if (place.known) {
        own = *place.known;
    } else {
        struct stat status;
        if (::fstatat(place.parent, place.name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            ctx.addInaccessible(path);
            return std::nullopt;
        }
        own = Facts::of(status);
    }
    if (fanOut < 1 || !own.isFolder()) return ScanWalk::walk(ctx, place, own);

    int descriptor = FileSystem::canOpenFolder(path) ? ::openat(place.parent, place.name, openFlags) : -1;
    if (descriptor < 0) {
        ctx.addInaccessible(path);
        return emptyFolderNode(path);
    }
    UniqueFd folder(descriptor);
    Listing listing;
    listing.read(descriptor);

    int64_t bytes = own.allocated;
    int64_t count = 0;
    int64_t newest = 0;
    int64_t linkedAgain = 0;  // bytes of links met before in this folder, left out of progress
    LinkTally links;
    std::vector<FileNode> nodes;
    // Only the entries: a subfolder's path is made again by the task that
    // scans it, so the level holds no path per subfolder while they run.
    std::vector<const Listing::Entry*> subfolders;
    std::vector<const ScanRecord::Node*> ways;  // each subfolder's, while any lies on a way
    for (const auto& entry : listing.entries) {
        if (!entry.statted) continue;
        std::string child = Paths::joined(path, listing.name(entry));
        const ScanRecord::Node* way = place.way ? ctx.recordEntry(place.way, listing.name(entry), child, entry.facts)
                                                : nullptr;
        if (entry.facts.isFolder()) {
            if (entry.facts.device != ctx.rootDevice) continue;
            if (ctx.excludeSet.count(child)) continue;
            if (FileSystem::isCloudOnlyFolder(child)) {
                ctx.addCloudOnly(child);
                continue;
            }
            if (place.way) ways.push_back(way);
            subfolders.push_back(&entry);
            continue;
        }
        int64_t size = entry.facts.allocated;
        bool firstMet = entry.facts.links < 2 || links.count(entry.facts.device, entry.facts.inode, size, child);
        if (!firstMet) linkedAgain += size;
        bytes += size;
        count += 1;
        newest = std::max(newest, entry.facts.modified);
        if (size >= ctx.options.minNodeSize && child.size() <= ctx.options.maxNodePath)
            nodes.push_back(fileNode(listing.name(entry), child, size, entry.facts.modified));
    }
    ctx.add(count, bytes - linkedAgain, path);
    ctx.addLinks(links);

    SubfolderResults results(ctx.options);
    ParallelDescent::forEachSubfolder(subfolders.size(), true, [&](size_t index) {
        const Listing::Entry& entry = *subfolders[index];
        const std::string childPath = Paths::joined(path, listing.name(entry));
        Place child{descriptor, listing.cName(entry), childPath, &entry.facts,
                    index < ways.size() ? ways[index] : nullptr};
        results.add(index, scanTree(child, fanOut - 1, ctx));
    });
    bytes += results.bytes;
    count += results.files;
    newest = std::max(newest, results.newest);
    results.appendKeptTo(nodes);
    sortLargestFirst(nodes);
    ctx.recordKept(path, bytes, own.device, own.inode);
    return FileNode{std::string(Paths::lastComponentView(path)),
                    path,
                    true,
                    bytes,
                    count,
                    dateOf(newest != 0 ? newest : own.modified),
                    std::move(nodes)};
}

/// `path` with the folder `from` at its start replaced by `to` ("" stands
/// for "/"); a path outside `from` is returned as it is.
std::string rebased(const std::string& path, const std::string& from, const std::string& to) {
    std::string result = path;
    if (path == from)
        result = to;
    else if (from == "/")
        result = to + path;
    else if (Paths::isInside(path, from))
        result = to + path.substr(from.size());
    return result.empty() ? "/" : result;
}

FileNode rewritePrefix(const FileNode& node, const std::string& from, const std::string& to) {
    FileNode copy;
    copy.path = rebased(node.path, from, to);
    copy.name = copy.path == "/" ? "/" : node.name;
    copy.isDirectory = node.isDirectory;
    copy.size = node.size;
    copy.fileCount = node.fileCount;
    copy.modified = node.modified;
    if (node.children) {
        std::vector<FileNode> children;
        children.reserve(node.children->size());
        for (const auto& child : *node.children) children.push_back(rewritePrefix(child, from, to));
        copy.children = std::move(children);
    }
    return copy;
}

}  // namespace

// Scanner

namespace Scanner {

namespace {
/// The folder a scan of `requested` walks: the folder a link names when the
/// root is a link to a folder and the options follow it (as du does), else
/// the path itself.
std::string walkedPath(const std::string& requested, const ScanOptions& options) {
    struct stat status;
    if (!options.followRootLink || ::lstat(requested.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return requested;
    char target[PATH_MAX];
    if (!::realpath(requested.c_str(), target) || ::stat(target, &status) != 0 || !S_ISDIR(status.st_mode))
        return requested;
    return target;
}
}  // namespace

ScanResult scan(const std::string& path, const ScanOptions& options, const CancelTokenPtr& cancel,
                const ScanProgressHandler& progress) {
    std::string requested = Paths::expand(path);
    std::string walked = walkedPath(requested, options);
    // The tree is shown under the path the caller asked for.
    bool rewrite = walked != requested;
    std::string shownPrefix = requested == "/" ? "" : requested;

    struct stat status;
    if (::lstat(walked.c_str(), &status) != 0)
        throw OstrevaneError(L("路径不存在或无法访问: %@", DisplayText::path(requested)));

    Date scannedAt = std::chrono::system_clock::now();
    auto started = std::chrono::steady_clock::now();
    const ScanOptions::Recorded& recorded = options.recorded;
    const bool recording = !recorded.folders.empty() || !recorded.items.empty() || !recorded.met.empty() ||
                           !recorded.named.empty();
    ScanRecord::Record record;
    ScanRecord::Node places;
    ScanContext ctx;
    if (recording) {
        // The walk records under the paths it walks. A root reached through a
        // link leaves the ways to the look by descriptor after it; what only
        // the walk can record is recorded under the folder walked and
        // renamed after it.
        std::vector<std::string> ways;
        if (!rewrite) {
            ways = recorded.folders;
            ways.insert(ways.end(), recorded.items.begin(), recorded.items.end());
        }
        std::vector<std::string> met;
        for (const auto& place : recorded.met) met.push_back(rewrite ? rebased(place, shownPrefix, walked) : place);
        places = ScanRecord::treeOf(ways, met);
        ctx.record = &record;
        ctx.named.insert(recorded.named.begin(), recorded.named.end());
    }
    ctx.options = options;
    for (const auto& exclude : options.excludes) ctx.excludeSet.insert(Paths::expand(exclude));
    ctx.rootDevice = status.st_dev;
    ctx.cancel = cancel;
    ctx.progress = progress;

    std::optional<FileNode> scanned;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = static_cast<int>(std::min(cores * threadsPerCore, threadLimit));
    tbb::global_control allowThreads(tbb::global_control::max_allowed_parallelism, threads);
    if (Hooks::active().walkStarts) Hooks::active().walkStarts();
    tbb::task_arena(threads).execute([&] {
        scanned = scanTree(
            Place{AT_FDCWD, walked.c_str(), walked, nullptr, ctx.record ? ScanRecord::find(places, walked) : nullptr},
            std::clamp<int64_t>(options.fanOutDepth, 0, readLevelLimit), ctx);
    });
    FileNode root = scanned ? std::move(*scanned) : emptyFolderNode(walked);
    if (isCancelled(cancel)) throw OstrevaneError(L("扫描已取消"));
    std::optional<SeenFolders> seen;
    if (recording) {
        if (rewrite) record.rebase([&](const std::string& p) { return rebased(p, walked, shownPrefix); });
        record.measureRest(recorded.folders, recorded.items);
        seen = record.take();
    }
    HardLinks::countOnce(root, std::move(ctx.links), options.minNodeSize);
    if (rewrite) {
        root = rewritePrefix(root, walked, shownPrefix);
        root.name = Paths::lastComponent(requested);
    }

    std::vector<std::string> inaccessible;
    int64_t inaccessibleCount;
    std::vector<std::string> cloudOnly;
    {
        std::lock_guard guard(ctx.lock);
        inaccessible = ctx.inaccessible;
        inaccessibleCount = ctx.inaccessibleCount;
        cloudOnly = ctx.cloudOnly;
    }
    std::sort(inaccessible.begin(), inaccessible.end());
    std::sort(cloudOnly.begin(), cloudOnly.end());
    double duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (rewrite)
        for (auto& entry : inaccessible) entry = rebased(entry, walked, shownPrefix);
    int64_t fileCount = root.fileCount;
    return ScanResult{std::move(root),
                      scannedAt,
                      duration,
                      fileCount,
                      std::move(inaccessible),
                      inaccessibleCount,
                      std::move(cloudOnly),
                      options.minNodeSize,
                      std::move(seen)};
}

Hooks& Hooks::active() {
    static Hooks hooks;
    return hooks;
}

int64_t quickSize(const std::string& path) {
    ScanOptions options;
    options.minNodeSize = std::numeric_limits<int64_t>::max();
    options.fanOutDepth = 1;
    // What is moved or measured is the link itself, never the folder it names.
    options.followRootLink = false;
    try {
        return scan(path, options).root.size;
    } catch (...) {
        return 0;
    }
}

}  // namespace Scanner

// Options

std::optional<int64_t> ScanOptions::parseFanOut(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulated as a negative number so INT64_MIN fits.
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        int digit = c - '0';
        if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
        value = -value;
    }
    return value;
}

ScanOptions::ScanOptions() {
    if (auto raw = Platform::environment("OSTREVANE_FANOUT"))
        if (auto parsed = parseFanOut(*raw)) fanOutDepth = *parsed;
}
