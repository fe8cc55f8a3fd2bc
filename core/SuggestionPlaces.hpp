// The well-known places of a Linux home as cleanup rules, and the counting
// that keeps one byte in one suggestion: a place another rule claims is left
// out of any rule whose place encloses it, and the report's totals are sizes
// of unions, never sums.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FileTree.hpp"
#include "SuggestionTypes.hpp"

namespace SuggestionEngine {

/// How a rule lists what it found.
enum class Breakdown {
    none,
    /// Each matched place on its own.
    byPlace,
    /// Matched places added up per folder the pattern's "*" stands for.
    byMatch,
};

/// One row of the Linux table. Its places are patterns: a base ("~",
/// "$XDG_CACHE_HOME", "$XDG_DATA_HOME", "$XDG_CONFIG_HOME" or "$DOCUMENTS",
/// the user's documents folder) and components,
/// of which one may be "*", matching every entry of its folder.
struct PlaceRule {
    std::string id;
    std::vector<std::string> places;
    std::string category;
    std::string title;
    std::string detail;
    Risk risk;
    CleanAction action;
    std::optional<std::string> command;
    int64_t minBytes;
    Breakdown breakdown;
};

/// The Linux rows, titles and details rendered in the process's language.
const std::vector<PlaceRule>& linuxRules();

/// A pattern with its base replaced by the folder it names for `home`.
std::string expandBase(const std::string& pattern, const std::string& home);

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
