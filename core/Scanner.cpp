// The scanner mixes two walks. The top levels are read folder by folder and
// their subfolders scanned in parallel; below the fan-out depth each folder is
// walked sequentially on one thread, in the manner of fts(3) with FTS_PHYSICAL
// | FTS_XDEV | FTS_NOCHDIR, but with descriptor-relative calls (getdents64 and
// fstatat on the folder's descriptor, each folder opened relative to its
// parent's), which spares the kernel a full path lookup per file and puts no
// limit on depth. Multiply-linked files count at every link while the parts
// run and are settled once the tree is complete (HardLinks).
#include "Scanner.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "HardLinks.hpp"
#include "Localization.hpp"
#include "base/UniqueFd.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"

namespace {

constexpr size_t inaccessibleSampleLimit = 100;
constexpr size_t cloudOnlyLimit = 200;
constexpr int64_t filesPerProgressBatch = 4096;
constexpr double progressInterval = 0.12;
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
// The innermost folders of a walk keep their descriptors (outer ones are
// reopened on the way back); with every thread walking, the scan stays
// well inside the usual limit of 1024 open files.
constexpr size_t descriptorsPerWalk = 12;
const std::string dataVolume = "/System/Volumes/Data";

/// Names come from the file system as bytes; the tree holds text.
std::string asText(std::string_view raw) {
    return Text::isValidUTF8(raw) ? std::string(raw) : Text::replacingInvalidUTF8(raw);
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return path;
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string childPath(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

Date dateOf(int64_t seconds) { return std::chrono::system_clock::from_time_t(static_cast<time_t>(seconds)); }

double clockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sortLargestFirst(std::vector<FileNode>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(), [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
}

/// What the scan needs of one `lstat`.
struct Facts {
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    int64_t allocated = 0;
    int64_t modified = 0;

    static Facts of(const struct stat& status) {
        return {status.st_mode,
                status.st_dev,
                status.st_ino,
                status.st_nlink,
                static_cast<int64_t>(status.st_blocks) * 512,
                static_cast<int64_t>(status.st_mtim.tv_sec)};
    }
    bool isFolder() const { return S_ISDIR(mode); }
    bool isRegular() const { return S_ISREG(mode); }
};

/// The entries of one folder in directory order, each with its `lstat`,
/// read in one go as fts does before it descends.
struct Listing {
    struct Entry {
        uint32_t nameStart = 0;
        uint32_t nameLength = 0;
        bool statted = false;
        Facts facts;
    };
    std::string names;  // each name followed by a NUL, for the *at calls
    std::vector<Entry> entries;

    std::string_view name(const Entry& entry) const { return {names.data() + entry.nameStart, entry.nameLength}; }
    const char* cName(const Entry& entry) const { return names.data() + entry.nameStart; }

    /// A read error ends the listing early, as readdir does.
    void read(int folder) {
        names.clear();
        entries.clear();
        thread_local std::vector<char> buffer(64 * 1024);
        while (true) {
            ssize_t length = ::getdents64(folder, buffer.data(), buffer.size());
            if (length <= 0) break;
            for (ssize_t offset = 0; offset < length;) {
                const auto* record = reinterpret_cast<const struct dirent64*>(buffer.data() + offset);
                offset += record->d_reclen;
                const char* name = record->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                Entry entry;
                entry.nameStart = static_cast<uint32_t>(names.size());
                entry.nameLength = static_cast<uint32_t>(std::strlen(name));
                names.append(name, entry.nameLength + 1);
                entries.push_back(entry);
            }
        }
        for (auto& entry : entries) {
            struct stat status;
            if (::fstatat(folder, cName(entry), &status, AT_SYMLINK_NOFOLLOW) == 0) {
                entry.statted = true;
                entry.facts = Facts::of(status);
            }
        }
    }
};

FileNode fileNode(std::string_view name, std::string_view path, int64_t size, int64_t modified) {
    return FileNode{asText(name), asText(path), false, size, 1, dateOf(modified), std::nullopt};
}

FileNode emptyFolderNode(const std::string& path) {
    return FileNode{asText(lastComponent(path)), asText(path), true, 0, 0, std::nullopt, std::vector<FileNode>{}};
}

/// State shared by every thread of one scan.
struct ScanContext {
    ScanOptions options;
    std::unordered_set<std::string> excludeSet;
    dev_t rootDevice = 0;
    CancelTokenPtr cancel;
    ScanProgressHandler progress;

    std::mutex lock;
    int64_t files = 0;
    int64_t bytes = 0;
    std::vector<std::string> inaccessible;
    int64_t inaccessibleCount = 0;
    std::vector<std::string> cloudOnly;
    double lastReport = 0;
    std::vector<CountedLink> links;

    bool cancelled() const { return cancel && cancel->isCancelled(); }

    void addInaccessible(const std::string& path) {
        std::string text = asText(path);
        std::lock_guard guard(lock);
        inaccessibleCount += 1;
        if (inaccessible.size() < inaccessibleSampleLimit) inaccessible.push_back(std::move(text));
    }

    void addCloudOnly(const std::string& path) {
        std::string text = asText(path);
        std::lock_guard guard(lock);
        if (cloudOnly.size() < cloudOnlyLimit) cloudOnly.push_back(std::move(text));
    }

    /// Once per part of the scan, and only when it met multiply-linked files.
    void addLinks(LinkTally& tally) {
        if (tally.empty()) return;
        std::vector<CountedLink> counted = tally.take();
        std::lock_guard guard(lock);
        links.insert(links.end(), std::make_move_iterator(counted.begin()), std::make_move_iterator(counted.end()));
    }

    void add(int64_t moreFiles, int64_t moreBytes, const std::string& path) {
        std::optional<ScanProgress> report;
        {
            std::lock_guard guard(lock);
            files += moreFiles;
            bytes += moreBytes;
            if (progress) {
                double now = clockSeconds();
                if (now - lastReport > progressInterval) {
                    lastReport = now;
                    report = ScanProgress{files, bytes, {}};
                }
            }
        }
        // Outside the lock: the callback may be slow or re-enter the engine.
        if (report) {
            report->currentPath = asText(path);
            progress(*report);
        }
    }
};

/// Where a part of the scan starts: a name relative to an open folder (or
/// to the working folder), with the path it has in the tree.
struct Place {
    int parent = AT_FDCWD;
    const char* name = nullptr;
    const std::string& path;
    /// What the parent's listing already read of it; none for the root.
    const Facts* known = nullptr;
};

/// One sequential walk below the fan-out depth. Files are counted into the
/// innermost open folder; a folder is folded into its parent when the walk
/// leaves it, and kept as a node only when it is large enough.
class SequentialWalk {
public:
    SequentialWalk(ScanContext& context, const Place& start) : ctx(context), start(start) {}

    std::optional<FileNode> run(const Facts& root) {
        walkDevice = root.device;
        path = start.path;
        if (!root.isFolder()) {
            countFile(root, lastComponent(start.path));
        } else {
            enterFolder(root, start.name);
            while (depth > 0)
                if (!step()) return std::nullopt;
        }
        if (pendingFiles > 0) ctx.add(pendingFiles, pendingBytes, start.path);
        ctx.addLinks(links);
        return std::move(result);
    }

private:
    struct Builder {
        int64_t size = 0;
        int64_t count = 0;
        int64_t newest = 0;
        int64_t dirModified = 0;
        std::vector<FileNode> children;
    };
    struct Frame {
        Builder builder;
        Listing listing;
        size_t next = 0;
        bool opened = false;  // in the chain of open folders
        size_t pathLength = 0;
        dev_t device = 0;
        ino_t inode = 0;
    };

    ScanContext& ctx;
    const Place& start;
    std::string path;  // the path of the entry being handled, like fts_path
    std::deque<Frame> frames;  // frames[0 ..< depth] are the open folders; a deque keeps references stable
    size_t depth = 0;
    FolderChain chain{descriptorsPerWalk};
    LinkTally links;
    int64_t pendingFiles = 0;
    int64_t pendingBytes = 0;
    dev_t walkDevice = 0;
    std::optional<FileNode> result;

    /// Handles the next entry of the innermost open folder; false when the
    /// scan was cancelled.
    bool step() {
        Frame& frame = frames[depth - 1];
        if (frame.next == frame.listing.entries.size()) {
            leaveFolder();
            return true;
        }
        const Listing::Entry& entry = frame.listing.entries[frame.next++];
        path.resize(frame.pathLength);
        if (path.back() != '/') path += '/';
        path += frame.listing.name(entry);

        if (!entry.statted) {
            ctx.addInaccessible(path);
            return true;
        }
        if (!entry.facts.isFolder()) return countFile(entry.facts, frame.listing.name(entry));

        // A folder that is its own ancestor (a bind mount of a parent) is passed over.
        for (size_t level = 0; level < depth; ++level)
            if (frames[level].device == entry.facts.device && frames[level].inode == entry.facts.inode) return true;

        bool skip = false;
        if (FileSystem::isCloudOnlyFolder(path)) {
            ctx.addCloudOnly(path);
            skip = true;
        } else if (!ctx.excludeSet.empty() && ctx.excludeSet.count(path)) {
            skip = true;
        }
        if (skip) {
            pushFolder(entry.facts);
            leaveFolder();
            return true;
        }
        enterFolder(entry.facts, frame.listing.cName(entry));
        return true;
    }

    void pushFolder(const Facts& facts) {
        if (frames.size() <= depth) frames.emplace_back();
        Frame& frame = frames[depth++];
        frame.builder = Builder{facts.allocated, 0, 0, facts.modified, {}};
        frame.listing.entries.clear();
        frame.next = 0;
        frame.opened = false;
        frame.pathLength = path.size();
        frame.device = facts.device;
        frame.inode = facts.inode;
    }

    /// Opens a folder relative to its parent and reads its entries. A folder
    /// on another device is counted with its own allocation but not entered;
    /// one that cannot be opened is reported and counted the same way.
    void enterFolder(const Facts& facts, const char* name) {
        pushFolder(facts);
        if (facts.device != walkDevice) {
            leaveFolder();
            return;
        }
        int descriptor = FileSystem::canOpenFolder(path)
                             ? chain.enter(name, facts.device, facts.inode, start.parent)
                             : -1;
        if (descriptor < 0) {
            ctx.addInaccessible(path);
            leaveFolder();
            return;
        }
        Frame& frame = frames[depth - 1];
        frame.opened = true;
        frame.listing.read(descriptor);
    }

    void leaveFolder() {
        Frame& frame = frames[depth - 1];
        if (frame.opened) chain.leave();
        Builder built = std::move(frame.builder);
        frame.builder.children.clear();
        path.resize(frame.pathLength);
        --depth;

        std::optional<FileNode> node;
        if (depth == 0 || (built.size >= ctx.options.minNodeSize && path.size() <= ctx.options.maxNodePath)) {
            sortLargestFirst(built.children);
            node = FileNode{asText(lastComponent(path)),
                            asText(path),
                            true,
                            built.size,
                            built.count,
                            dateOf(built.newest >= 1 ? built.newest : built.dirModified),
                            std::move(built.children)};
        }
        if (depth == 0) {
            result = std::move(node);
            return;
        }
        Builder& parent = frames[depth - 1].builder;
        parent.size += built.size;
        parent.count += built.count;
        parent.newest = std::max(parent.newest, built.newest);
        if (node) parent.children.push_back(std::move(*node));
    }

    /// Counts a non-folder entry; false when a progress batch found the scan cancelled.
    bool countFile(const Facts& facts, std::string_view name) {
        int64_t size = facts.allocated;
        // Every link counts for now; the scan settles them at its end.
        bool firstMet = facts.links < 2 || links.count(facts.device, facts.inode, size, asText(path));
        if (depth == 0) {
            result = fileNode(name, path, size, facts.modified);
        } else {
            Builder& top = frames[depth - 1].builder;
            top.size += size;
            top.count += 1;
            if (facts.isRegular()) top.newest = std::max(top.newest, facts.modified);
            if (size >= ctx.options.minNodeSize && path.size() <= ctx.options.maxNodePath)
                top.children.push_back(fileNode(name, path, size, facts.modified));
        }
        pendingFiles += 1;
        if (firstMet) pendingBytes += size;
        if (pendingFiles == filesPerProgressBatch) {
            ctx.add(pendingFiles, pendingBytes, path);
            if (ctx.cancelled()) return false;
            pendingFiles = 0;
            pendingBytes = 0;
        }
        return true;
    }
};

/// The results of one level's parallel loop, one slot per subfolder, merged
/// afterwards in directory order.
class Slots {
public:
    explicit Slots(size_t count) : items(count) {}
    void set(size_t index, std::optional<FileNode> node) {
        std::lock_guard guard(lock);
        items[index] = std::move(node);
    }
    std::vector<std::optional<FileNode>> take() {
        std::lock_guard guard(lock);
        return std::move(items);
    }

private:
    std::mutex lock;
    std::vector<std::optional<FileNode>> items;
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
    if (fanOut < 1 || !own.isFolder()) return SequentialWalk(ctx, place).run(own);

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
    struct Subfolder {
        const char* name;
        std::string path;
        const Facts* facts;
    };
    std::vector<Subfolder> subfolders;
    for (const auto& entry : listing.entries) {
        if (!entry.statted) continue;
        std::string child = childPath(path, listing.name(entry));
        if (entry.facts.isFolder()) {
            if (entry.facts.device != ctx.rootDevice) continue;
            if (ctx.excludeSet.count(child)) continue;
            if (FileSystem::isCloudOnlyFolder(child)) {
                ctx.addCloudOnly(child);
                continue;
            }
            subfolders.push_back({listing.cName(entry), std::move(child), &entry.facts});
            continue;
        }
        int64_t size = entry.facts.allocated;
        bool firstMet = entry.facts.links < 2 || links.count(entry.facts.device, entry.facts.inode, size, asText(child));
        if (!firstMet) linkedAgain += size;
        bytes += size;
        count += 1;
        newest = std::max(newest, entry.facts.modified);
        if (size >= ctx.options.minNodeSize && child.size() <= ctx.options.maxNodePath)
            nodes.push_back(fileNode(listing.name(entry), child, size, entry.facts.modified));
    }
    ctx.add(count, bytes - linkedAgain, path);
    ctx.addLinks(links);

    Slots slots(subfolders.size());
    tbb::parallel_for(
        tbb::blocked_range<size_t>(0, subfolders.size(), 1),
        [&](const tbb::blocked_range<size_t>& range) {
            for (size_t index = range.begin(); index != range.end(); ++index) {
                const Subfolder& subfolder = subfolders[index];
                Place child{descriptor, subfolder.name, subfolder.path, subfolder.facts};
                slots.set(index, scanTree(child, fanOut - 1, ctx));
            }
        },
        tbb::simple_partitioner());

    for (auto& slot : slots.take()) {
        if (!slot) continue;
        bytes += slot->size;
        count += slot->fileCount;
        if (slot->fileCount >= 1 && slot->modified)
            newest = std::max(newest, static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                                               slot->modified->time_since_epoch())
                                                               .count()));
        if (slot->size >= ctx.options.minNodeSize && slot->path.size() <= ctx.options.maxNodePath)
            nodes.push_back(std::move(*slot));
    }
    sortLargestFirst(nodes);
    return FileNode{asText(lastComponent(path)),
                    asText(path),
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

// MARK: Scanner

namespace Scanner {

namespace {
/// The folder a scan of `requested` walks: the data volume for "/" where the
/// system keeps one, the folder a link names when the root is a link to a
/// folder and the options follow it (as du does), else the path itself.
std::string walkedPath(const std::string& requested, const ScanOptions& options) {
    if (requested == "/") return ::access(dataVolume.c_str(), F_OK) == 0 ? dataVolume : requested;
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
    if (::lstat(walked.c_str(), &status) != 0) throw OstrevaneError(L("路径不存在或无法访问: %@", asText(requested)));

    Date scannedAt = std::chrono::system_clock::now();
    auto started = std::chrono::steady_clock::now();
    ScanContext ctx;
    ctx.options = options;
    for (const auto& exclude : options.excludes) ctx.excludeSet.insert(Paths::expand(exclude));
    ctx.rootDevice = status.st_dev;
    ctx.cancel = cancel;
    ctx.progress = progress;

    std::optional<FileNode> scanned;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = static_cast<int>(std::min(cores * threadsPerCore, threadLimit));
    tbb::global_control allowThreads(tbb::global_control::max_allowed_parallelism, threads);
    tbb::task_arena(threads).execute([&] {
        scanned = scanTree(Place{AT_FDCWD, walked.c_str(), walked},
                           std::clamp<int64_t>(options.fanOutDepth, 0, readLevelLimit), ctx);
    });
    FileNode root = scanned ? std::move(*scanned) : emptyFolderNode(walked);
    if (isCancelled(cancel)) throw OstrevaneError(L("扫描已取消"));
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
    return ScanResult{std::move(root),          scannedAt, duration, fileCount, std::move(inaccessible),
                      inaccessibleCount,        std::move(cloudOnly), options.minNodeSize};
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
