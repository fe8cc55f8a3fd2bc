// The cleanup rules of the fixed tables: the designed rows and the Linux
// rows, one record each, and where a rule's place patterns lead.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clean/SuggestionTypes.hpp"

namespace SuggestionEngine {

/// The folders of the home a conda installation keeps: each distribution's
/// own, then conda's per-user folder. Each holds its package cache in pkgs/.
inline constexpr std::array<const char*, 5> condaFolders = {"miniconda3", "anaconda3", "miniforge3", "mambaforge",
                                                            ".conda"};

/// How a rule lists what it found.
enum class Breakdown {
    none,
    /// Each matched place on its own.
    byPlace,
    /// Matched places added up per folder the pattern's "*" stands for.
    byMatch,
    /// The largest children of the rule's one place, as the designed rows list them.
    largestChildren,
};

/// One row of a table. Its places are patterns: a base ("~", "$TRASH" (the
/// Trash's files folder), "$XDG_CACHE_HOME", "$XDG_DATA_HOME",
/// "$XDG_CONFIG_HOME" or "$DOCUMENTS", the user's documents folder) and
/// components, of which one may be "*", matching every entry of its folder.
struct CleanupRule {
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

/// The 26 designed rows, each with one place that counts whether or not it
/// exists; titles and details rendered in the process's language.
const std::vector<CleanupRule>& known();
/// The Linux rows, whose places count only where they exist; the same.
const std::vector<CleanupRule>& linuxRules();

/// A pattern with its base replaced by the folder it names for `home`.
std::string expandBase(const std::string& pattern, const std::string& home);
/// Where a designed row's one place is on this system.
std::string location(const CleanupRule& rule, const std::string& home);

}  // namespace SuggestionEngine
