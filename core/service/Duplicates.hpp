// Groups of files with the same content inside a scanned tree, and how much
// space their extra copies take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"
#include "scan/FileTree.hpp"

namespace Service {

/// One set of files with the same content.
struct DuplicateGroup {
    /// The allocated size of one copy as the tree has it: the smallest among
    /// the group's files, which may hold different numbers of blocks for the
    /// same bytes.
    int64_t bytesEach = 0;
    std::string sizeEach;
    /// What keeping only the smallest copy frees: the group's total
    /// allocation less bytesEach ((copies - 1) x bytesEach when they agree).
    int64_t wastedBytes = 0;
    std::string wasted;
    /// Matched by whole-file fingerprints rather than the quick ones.
    bool verified = false;
    /// At least two, sorted by code point after canonical normalisation.
    std::vector<std::string> paths;

    bool operator==(const DuplicateGroup&) const = default;
};

struct DuplicateReport {
    /// The path of the node searched.
    std::string path;
    /// The most wasteful groups first, at most the limit asked for.
    std::vector<DuplicateGroup> groups;
    /// Over every group found, including those cut off by the limit.
    int64_t totalWastedBytes = 0;
    std::string totalWasted;
    /// How the groups were matched.
    std::string note;

    bool operator==(const DuplicateReport&) const = default;
};

/// Keys are the field names; every key is required when reading.
void to_json(json& document, const DuplicateGroup& group);
void from_json(const json& document, DuplicateGroup& group);
void to_json(json& document, const DuplicateReport& report);
void from_json(const json& document, DuplicateReport& report);

/// Files of at least `minSize` allocated bytes below `node`, and sparse files
/// of at least `minSize` bytes' length there (found on disk, since the tree
/// keeps no file below its floor however long it is), grouped by
/// content: files of the same byte length (however many blocks each holds)
/// are compared by a fingerprint of their length, start and end, or with
/// `verify` by the SHA-256 of the whole file. Bundles, libraries, "node_modules",
/// ".git", the home folder's "Library" and the Trash folders are not entered. Hard links to one
/// file count as that one file, named by the first link found. Paths of any
/// length. A file that cannot be opened or read takes part in no group, nor
/// does one written or replaced once the search opened it.
/// Never throws.
DuplicateReport duplicates(const FileNode& node, int64_t minSize, bool verify, int64_t limit);

/// 64 lowercase hexadecimal digits of a SHA-256 digest. Full: the whole
/// file. Quick: the length as 8 little-endian bytes, the first 128 KiB, and
/// the last 128 KiB when the file is longer than 256 KiB. None when the file
/// cannot be opened, its length cannot be found, or a read fails.
std::optional<std::string> fingerprint(const std::string& path, bool full);

}  // namespace Service
