// The records in which the engine proposes cleanups. They carry final,
// already localised texts and already formatted sizes, so whoever shows them
// never formats or translates anything.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Support.hpp"
#include "platform/SeenWay.hpp"
#include "platform/TrashIdentity.hpp"

enum class Risk { safe, review, caution };

/// What a suggestion asks for. The cleaner carries out only the first three;
/// the others are for the user (or another engine) to act on.
enum class CleanAction { trashContents, trash, emptyTrash, command, offload, evict, manual };

namespace Risks {
std::string_view rawValue(Risk risk);
std::optional<Risk> fromRaw(std::string_view raw);
}  // namespace Risks

namespace CleanActions {
std::string_view rawValue(CleanAction action);
std::optional<CleanAction> fromRaw(std::string_view raw);
}  // namespace CleanActions

void to_json(json& document, const Risk& risk);
void from_json(const json& document, Risk& risk);
void to_json(json& document, const CleanAction& action);
void from_json(const json& document, CleanAction& action);

/// How a rule that picks items for their idle time measured them, so that a
/// clean measures each again, the same way, just before it moves it: an item
/// written to since the scan is no longer what the user approved.
struct IdleTest {
    enum class Measure {
        /// The item's time as a scan gives it: a file's modification time, a
        /// folder's newest file's (its own when it holds none).
        itself,
        /// The newest modification time among the entries of the folder the
        /// item lies in (its project), links not followed, `passedOver` left out.
        siblings,
        /// When the application was last opened.
        lastOpened,
    };
    Measure measure = Measure::itself;
    /// The item still qualifies while its time is at or before this.
    Date cutoff;
    /// Names of entries that `siblings` does not look at.
    std::set<std::string> passedOver;

    bool operator==(const IdleTest&) const = default;
};

/// One part of a proposal; identified by its path.
struct SuggestionItem {
    std::string path;
    int64_t bytes = 0;
    std::string size;
    std::optional<std::string> note;

    SuggestionItem() = default;
    SuggestionItem(std::string path, int64_t bytes, std::optional<std::string> note = std::nullopt);

    const std::string& id() const { return path; }
    bool operator==(const SuggestionItem&) const = default;
};

struct Suggestion {
    std::string id;
    std::string category;
    std::string title;
    std::string detail;
    std::vector<std::string> paths;
    int64_t reclaimableBytes = 0;
    std::string reclaimable;
    Risk risk = Risk::safe;
    CleanAction action = CleanAction::manual;
    bool autoApplicable = false;
    std::optional<std::string> command;
    /// Absent when the rule gives no breakdown; an empty list is a breakdown of nothing.
    std::optional<std::vector<SuggestionItem>> items;
    /// What the scan behind the suggestion saw on the way from the home
    /// folder to its paths and to the Trash, which a clean keeps to (not in
    /// the JSON form). Absent for a suggestion no analysis made: its folders
    /// are then followed as they are now.
    std::optional<SeenFolders> seen;
    /// Set by the rules that pick their paths for their idle time; a clean
    /// measures each path again with it (not in the JSON form).
    std::optional<IdleTest> idle;
    /// For emptying the Trash: every item the analysis that made the
    /// suggestion measured there (not in the JSON form). Emptying through
    /// the suggestion deletes only those; a suggestion no analysis made
    /// deletes nothing.
    Trash::MeasuredEntries measuredTrash;

    /// For decoding, where the derived fields are read as they stand.
    Suggestion() = default;
    /// Every suggestion of the engine is built here, so `reclaimable` and
    /// `autoApplicable` always agree with `bytes`, `risk` and `action`.
    Suggestion(std::string id, std::string category, std::string title, std::string detail,
               std::vector<std::string> paths, int64_t bytes, Risk risk, CleanAction action,
               std::optional<std::string> command = std::nullopt,
               std::optional<std::vector<SuggestionItem>> items = std::nullopt);

    bool operator==(const Suggestion&) const = default;
};

struct SuggestionReport {
    Date generatedAt;
    /// "full" when the analysis had a scan holding the home folder, else "quick".
    std::string mode;
    int64_t totalReclaimableBytes = 0;
    std::string totalReclaimable;
    int64_t safeReclaimableBytes = 0;
    std::string safeReclaimable;
    /// Largest first.
    std::vector<Suggestion> suggestions;
    std::vector<std::string> notes;

    bool operator==(const SuggestionReport&) const = default;
};

// JSON forms: field names as keys, absent optionals left out. Decoding needs
// every required key and reads derived fields as they stand.
void to_json(json& document, const SuggestionItem& item);
void from_json(const json& document, SuggestionItem& item);
void to_json(json& document, const Suggestion& suggestion);
void from_json(const json& document, Suggestion& suggestion);
void to_json(json& document, const SuggestionReport& report);
void from_json(const json& document, SuggestionReport& report);
