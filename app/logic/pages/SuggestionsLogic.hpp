// What the suggestions page and its cards show and ask, decided over plain
// values so every choice can be checked without widgets.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "clean/SuggestionTypes.hpp"
#include "pages/ConfirmRequest.hpp"
#include "theme/Theme.hpp"

/// The cleaning operations a confirmed request ends in. The page binds them
/// to the model; tests bind them to recorders.
struct CleaningCalls {
    std::function<void(const Suggestion& suggestion)> apply;
    /// Cleans the safe items of the report the confirmation named.
    std::function<void(const SuggestionReport& report)> applyAllSafe;
    std::function<void()> emptyTrash;
    std::function<void(const std::vector<std::string>& paths, const std::string& key)> evict;
};

namespace SuggestionRequests {
/// Busy keys of the page's own operations.
inline const std::string allSafeKey = "all-safe";
inline const std::string emptyTrashKey = "empty-trash";

/// What the page shows, by the first rule that holds: a report (kept while a
/// later scan runs), the scanning view, else the analysing placeholder.
enum class PageState { report, scanning, analyzing };
PageState pageState(bool hasReport, bool isScanning);

/// Confirms one suggestion: a release for evict (not destructive, busy key
/// the suggestion's id), emptying for emptyTrash, a move to the Trash
/// otherwise. The action holds a copy of the suggestion.
ConfirmRequest ask(const Suggestion& suggestion, const CleaningCalls& calls);
/// Confirms emptying the whole Trash.
ConfirmRequest askEmptyTrash(const CleaningCalls& calls);
/// Confirms cleaning every safe suggestion of the report.
ConfirmRequest askAllSafe(const SuggestionReport& report, const CleaningCalls& calls);
}  // namespace SuggestionRequests

namespace SuggestionCards {
/// The symbol of a suggestion's category ("archive" split by evict); "trash" for any other category.
std::string icon(const Suggestion& suggestion);
/// safe: accent, review: warn, caution: danger.
ThemeColor riskTint(Risk risk);

/// Items present and not empty: the card has a details toggle and an item list.
bool hasItems(const Suggestion& suggestion);
/// The command row shows for a command, except on offload and evict suggestions.
bool showsCommand(const Suggestion& suggestion);
/// How many paths the item list leaves out: paths that are not an item, inside
/// one or holding one, less the items that relate to no path; 0 when none.
size_t moreCount(const Suggestion& suggestion);

/// The first action: the details toggle, "show" for a lone path, or nothing.
enum class FirstControl { none, details, show };
FirstControl firstControl(const Suggestion& suggestion);

/// The second action, by the first rule that holds.
enum class SecondControl { none, spinner, clean, empty, releaseAll, archiveMenu };
SecondControl secondControl(const Suggestion& suggestion, const std::optional<std::string>& busySuggestion,
                            bool hasAvailableDestinations);
/// The untranslated label of a second control; empty for none and the spinner.
std::string label(SecondControl control);
}  // namespace SuggestionCards
