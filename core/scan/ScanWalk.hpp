// What the scanner's two walks share: the facts of one entry, one folder's
// listing, the state of a scan, where a part of it starts, and the
// sequential walk that scans everything below the fan-out depth.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/ProgressPace.hpp"
#include "scan/HardLinks.hpp"
#include "scan/ScanRecord.hpp"
#include "scan/Scanner.hpp"

namespace ScanWalk {

constexpr size_t inaccessibleSampleLimit = 100;
constexpr size_t cloudOnlyLimit = 200;

inline Date dateOf(int64_t seconds) { return std::chrono::system_clock::from_time_t(static_cast<time_t>(seconds)); }

inline double clockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline void sortLargestFirst(std::vector<FileNode>& nodes) {
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
                Files::allocatedBytes(status),
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
    void read(int folder);
};

// Names and paths keep the bytes the file system gave, UTF-8 or not: only
// those name the file. What writes them for reading escapes the bytes that
// are no UTF-8.
inline FileNode fileNode(std::string_view name, std::string_view path, int64_t size, int64_t modified) {
    return FileNode{std::string(name), std::string(path), false, size, 1, dateOf(modified), std::nullopt};
}

inline FileNode emptyFolderNode(const std::string& path) {
    return FileNode{std::string(Paths::lastComponentView(path)),
                    std::string(path),
                    true,
                    0,
                    0,
                    std::nullopt,
                    std::vector<FileNode>{}};
}

/// State shared by every thread of one scan.
struct ScanContext {
    ScanOptions options;
    std::unordered_set<std::string> excludeSet;
    dev_t rootDevice = 0;
    CancelTokenPtr cancel;
    ScanProgressHandler progress;
    /// Where the identities of the recorded places go; none when the scan
    /// records nothing during the walk.
    ScanRecord::Record* record = nullptr;
    /// The folder names recorded wherever the tree keeps such a folder
    /// (ScanOptions::Recorded::named); empty when the walk records none.
    std::set<std::string, std::less<>> named;

    std::mutex lock;
    int64_t files = 0;
    int64_t bytes = 0;
    std::vector<std::string> inaccessible;
    int64_t inaccessibleCount = 0;
    std::vector<std::string> cloudOnly;
    double lastReport = 0;
    std::vector<CountedLink> links;

    bool cancelled() const { return cancel && cancel->isCancelled(); }

    /// Records the entry `name` of a folder on the way to a recorded place
    /// (`way`, none for any other folder) from the status the walk read of
    /// it; the entry's own node, none when no place lies there or below.
    const ScanRecord::Node* recordEntry(const ScanRecord::Node* way, std::string_view name, const std::string& path,
                                        const Facts& facts) {
        const ScanRecord::Node* node = way ? way->child(name) : nullptr;
        if (node && node->met)
            record->addMet(path, facts.device, facts.inode, facts.mode);
        else if (node)
            record->add(path, facts.device, facts.inode, facts.mode);
        return node;
    }

    /// Records the folder at `path` that the tree keeps as a node of `size`
    /// bytes when its name is one of `named`.
    void recordKept(const std::string& path, int64_t size, dev_t device, ino_t inode) {
        if (named.empty() || size < options.minNodeSize || path.size() > options.maxNodePath) return;
        if (named.count(Paths::lastComponentView(path))) record->addMet(path, device, inode, S_IFDIR);
    }

    void addInaccessible(const std::string& path) {
        std::string text = path;
        std::lock_guard guard(lock);
        inaccessibleCount += 1;
        if (inaccessible.size() < inaccessibleSampleLimit) inaccessible.push_back(std::move(text));
    }

    void addCloudOnly(const std::string& path) {
        std::string text = path;
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
                if (now - lastReport > ProgressPace::scan) {
                    lastReport = now;
                    report = ScanProgress{files, bytes, {}};
                }
            }
        }
        // Outside the lock: the callback may be slow or re-enter the engine.
        if (report) {
            report->currentPath = path;
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
    /// Its node on the way to the recorded places; none off the way.
    const ScanRecord::Node* way = nullptr;
};

/// Scans `start`, whose own facts are `root`, on this thread: a file as one
/// node, a folder walked to the bottom. None when the scan was cancelled.
std::optional<FileNode> walk(ScanContext& ctx, const Place& start, const Facts& root);

}  // namespace ScanWalk
