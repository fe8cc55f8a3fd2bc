// The counting of the fixed tables' places (CleanupRules.hpp) that keeps one
// byte in one suggestion: a place another rule claims is left out of any rule
// whose place encloses it, and the report's totals are sizes of unions,
// never sums.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "clean/CleanupRules.hpp"
#include "clean/SuggestionTypes.hpp"
#include "scan/FileTree.hpp"

namespace SuggestionEngine {

/// One slot per item measured in parallel; each worker writes only its own.
class Sizes {
public:
    explicit Sizes(size_t count) : slots(count, 0) {}
    void set(size_t index, int64_t value) {
        std::lock_guard guard(lock);
        slots[index] = value;
    }
    std::vector<int64_t> values() const {
        std::lock_guard guard(lock);
        return slots;
    }

private:
    mutable std::mutex lock;
    std::vector<int64_t> slots;
};

/// One existing path a pattern matched, with the folder its "*" matched
/// (the path itself when the pattern has none).
struct PlaceMatch {
    std::string path;
    std::string group;
};

/// What an expanded pattern matches: entries are listed from `tree` where it
/// holds the folder and from the disk, a path counts when either holds it.
/// In name order.
std::vector<PlaceMatch> matchPlace(const std::string& pattern, const FileNode* tree);

/// Part of what a suggestion counts: everything under `path` except what is
/// under one of `excluded`.
struct Region {
    std::string path;
    std::vector<std::string> excluded;
};

/// The paths of `claimed` strictly inside `path` that lie inside no other of
/// them strictly inside `path`: what an enclosing rule leaves out.
std::vector<std::string> outermostInside(const std::string& path, const std::vector<std::string>& claimed);

/// The bytes the union of `regions` holds, from the sizes of whole paths.
/// A part that sizes disagree about counts as nothing rather than less.
int64_t unionBytes(const std::vector<Region>& regions, const std::function<int64_t(const std::string&)>& sizeOf);

/// What the table rows found: their suggestions and, for the union, the
/// regions each one counts and the sizes measured on the way.
struct TableFindings {
    std::vector<Suggestion> suggestions;
    std::map<std::string, std::vector<Region>> regions;
    std::map<std::string, int64_t> sizes;
};

/// The designed rows and the Linux rows, measured from `homeNode` where it
/// holds a place and on the disk otherwise; every place any row claims is
/// left out of the places that enclose it.
TableFindings tableSuggestions(const FileNode* homeNode, const std::string& home);

}  // namespace SuggestionEngine
