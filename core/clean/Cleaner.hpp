// Where the engine touches the user's files: moving paths to the Trash after a
// refusal check on protected places, applying a cleanup suggestion, emptying
// the Trash and showing an item in the file manager. Cleaning only ever moves
// to the Trash; emptying the Trash is the one thing that deletes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"
#include "clean/SuggestionTypes.hpp"

/// One path a clean did not handle.
struct CleanFailure {
    /// The expanded absolute path.
    std::string path;
    /// A refusal text or the system's description of the error.
    std::string reason;

    bool operator==(const CleanFailure&) const = default;
};

/// What a clean did, or would do in a dry run.
struct CleanResult {
    bool dryRun = false;
    /// Expanded paths moved (or that would be moved) to the Trash, in input order.
    std::vector<std::string> trashed;
    std::vector<CleanFailure> failed;
    int64_t bytes = 0;
    std::string size;
    std::string message;

    CleanResult() = default;
    CleanResult(bool dryRun, std::vector<std::string> trashed, std::vector<CleanFailure> failed, int64_t bytes,
                std::string message);
};

void to_json(json& document, const CleanFailure& failure);
void from_json(const json& document, CleanFailure& failure);
void to_json(json& document, const CleanResult& result);
void from_json(const json& document, CleanResult& result);

namespace Cleaner {
/// None when the path may be moved to the Trash, else the reason it may not.
std::optional<std::string> refusal(const std::string& path);
/// The part of refusal() that concerns the place alone (a protected folder,
/// or a link that leads a move to one), whether or not the path exists yet.
std::optional<std::string> refusalOfPlace(const std::string& path);
/// Moves one path to the Trash after the refusal checks, the checks and the
/// move made on one folder held open, and returns where the item went.
/// Throws OstrevaneError with the refusal or the system's description.
std::string moveToTrash(const std::string& path);
/// Never throws: refused and failed paths become failures in the result. A
/// path named again, or lying inside one moved before it, went with that one
/// and is neither listed nor counted again.
CleanResult trash(const std::vector<std::string>& paths, bool dryRun);
/// Empties every trash folder that passes the checks; one that fails them is
/// left alone and named in `failed` with the reason, as is every item left.
/// The message says the Trash was emptied only when nothing was left. Throws
/// OstrevaneError only when the Trash cannot be listed and the desktop fails
/// to empty it.
CleanResult emptyTrash();
/// What a clean leaves alone whatever rule found it: places the caller
/// knows of, such as backup destinations, where an offload's backup may be
/// the only copy there is.
struct Keep {
    /// Folders never moved, nor any folder holding one.
    std::vector<std::string> folders;
    /// Folders nothing inside of which is moved.
    std::vector<std::string> contents;
};
/// What a caller that showed the user more than the suggestion itself holds
/// a clean to.
struct ApplyLimits {
    /// Moving: only these expanded paths (what a dry run listed) may move; the
    /// others are left where they are and named in the message. None: every
    /// item of the suggestion.
    std::optional<std::vector<std::string>> approved;
    /// Moving: what is skipped with the reason, whatever rule found it.
    Keep keep;
};
/// Emptying the Trash through its suggestion deletes only the items its
/// analysis measured (`Suggestion::measuredTrash`), each found in its trash
/// folder under its name exactly as measured; every other item stays and is
/// counted in the message, whatever its record says. Throws OstrevaneError for a
/// suggestion that cannot be applied automatically or whose action the
/// cleaner does not carry out.
CleanResult apply(const Suggestion& suggestion, bool dryRun, const ApplyLimits& limits = {});
}  // namespace Cleaner
