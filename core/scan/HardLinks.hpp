// Files with several hard links, counted once in a whole scan although the
// scan's parts run in parallel, each unaware of what the others counted.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "scan/FileTree.hpp"

/// One link of a multiply-linked file, met by some part of a scan, which
/// counted the file's bytes there for now.
struct CountedLink {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t allocated = 0;
    std::string path;
};

/// The links of multiply-linked files that one part of a scan (one walk, or
/// one folder read on its own) has met.
class LinkTally {
public:
    /// Records the link; true the first time this part meets its file (what
    /// progress reports count).
    bool count(dev_t device, ino_t inode, int64_t allocated, std::string path);
    bool empty() const { return counted.empty(); }
    /// The links met so far, leaving the tally's list empty.
    std::vector<CountedLink> take() { return std::move(counted); }

private:
    struct Hash {
        size_t operator()(const std::pair<dev_t, ino_t>& key) const {
            return std::hash<uint64_t>()(static_cast<uint64_t>(key.second) * 0x9E3779B97F4A7C15ull ^ key.first);
        }
    };
    std::unordered_set<std::pair<dev_t, ino_t>, Hash> seen;
    std::vector<CountedLink> counted;
};

namespace HardLinks {
/// Makes each file with several links below `root` count once: its bytes
/// stay with the link whose path sorts first (byte order), so the outcome
/// depends neither on thread timing nor on how the scan was split, and are
/// taken from every other link and from every node above it. A node other than the root that falls
/// below `minNodeSize` is dropped; changed child lists are re-sorted largest
/// first, stable. Every path in `links` lies below `root`.
void countOnce(FileNode& root, std::vector<CountedLink> links, int64_t minNodeSize);
}  // namespace HardLinks
