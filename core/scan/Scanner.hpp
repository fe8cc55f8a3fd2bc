// Scanning a folder into its size tree (FileTree.hpp): the options, the
// progress it reports, and the scan itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Support.hpp"
#include "scan/FileTree.hpp"

struct ScanOptions {
    /// See `maxNodePath`.
    static constexpr size_t defaultMaxNodePath = 8192;

    int64_t minNodeSize = 1048576;
    /// Entries whose path is longer (in bytes) are counted in their folders
    /// but kept as no node: every node holds its full path, so the paths of a
    /// tree tens of thousands of levels deep would fill gigabytes, and its
    /// cache could not be read back. Twice PATH_MAX keeps every node a path
    /// can name, and more.
    size_t maxNodePath = defaultMaxNodePath;
    /// Absolute paths of folders to pass over, matched against whole paths.
    std::vector<std::string> excludes;
    /// Levels read folder by folder (their subfolders scanned in parallel)
    /// before each deeper folder is walked sequentially on one thread; at
    /// most 64 levels are read that way, whatever the value.
    int64_t fanOutDepth = 4;
    /// A root that is a symbolic link to a folder is scanned as that folder,
    /// its tree shown under the link's path.
    bool followRootLink = true;
    /// The places whose identities the scan records (ScanResult::seen), with
    /// every folder on the way to each, as the caller that will act on them
    /// names them: absolute paths, where a component "*" stands for every
    /// entry of its folder. `folders` are ways (a link there is followed),
    /// `items` what may be moved (a link is the link). `met` and `named`
    /// are what the rules reading the tree pick from it, so only the walk
    /// records them, as it meets them (a link is the link), and nothing is
    /// looked at afterwards: `met` are patterns like `items`, `named` the
    /// names of folders recorded wherever the tree keeps one as a node. A
    /// record the walk could not take (a folder it did not enter) is left
    /// missing, and a clean skips the item. Nothing is recorded when all
    /// four are empty.
    struct Recorded {
        std::vector<std::string> folders;
        std::vector<std::string> items;
        std::vector<std::string> met;
        std::vector<std::string> named;
    } recorded;

    /// Reads OSTREVANE_FANOUT each time, so a test or a user can change it.
    ScanOptions();
    /// A whole decimal number with an optional sign that fits in 64 bits.
    static std::optional<int64_t> parseFanOut(std::string_view text);
};

struct ScanProgress {
    int64_t files = 0;
    int64_t bytes = 0;
    std::string currentPath;
};

/// May be called from any of the scan's threads, never under a lock of the scan.
using ScanProgressHandler = std::function<void(const ScanProgress&)>;

namespace Scanner {
/// Scans a file or folder. Throws OstrevaneError when the path cannot be
/// examined or when `cancel` was cancelled; never returns a partial tree.
ScanResult scan(const std::string& path, const ScanOptions& options = ScanOptions(),
                const CancelTokenPtr& cancel = nullptr, const ScanProgressHandler& progress = nullptr);
/// What a test may do while a scan runs: `walkStarts` is called once the
/// scan's root was found, right before the walk begins.
struct Hooks {
    std::function<void()> walkStarts;
    static Hooks& active();
};
/// The allocated size of a path, 0 when it cannot be measured. A link is
/// measured as the link, not as what it names.
int64_t quickSize(const std::string& path);
}  // namespace Scanner
