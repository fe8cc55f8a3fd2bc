#include "clean/SuggestionTypes.hpp"

#include <array>
#include <utility>

#include "base/JSONCoding.hpp"

namespace {
constexpr std::array<std::pair<Risk, std::string_view>, 3> riskNames{{
    {Risk::safe, "safe"},
    {Risk::review, "review"},
    {Risk::caution, "caution"},
}};

constexpr std::array<std::pair<CleanAction, std::string_view>, 7> actionNames{{
    {CleanAction::trashContents, "trashContents"},
    {CleanAction::trash, "trash"},
    {CleanAction::emptyTrash, "emptyTrash"},
    {CleanAction::command, "command"},
    {CleanAction::offload, "offload"},
    {CleanAction::evict, "evict"},
    {CleanAction::manual, "manual"},
}};

template <class Enum, size_t N>
std::string_view nameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value) {
    for (const auto& [candidate, name] : names)
        if (candidate == value) return name;
    return {};
}

template <class Enum, size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, std::string_view>, N>& names, std::string_view raw) {
    for (const auto& [candidate, name] : names)
        if (name == raw) return candidate;
    return std::nullopt;
}
}  // namespace

namespace Risks {
std::string_view rawValue(Risk risk) { return nameOf(riskNames, risk); }
std::optional<Risk> fromRaw(std::string_view raw) { return valueOf(riskNames, raw); }
}  // namespace Risks

namespace CleanActions {
std::string_view rawValue(CleanAction action) { return nameOf(actionNames, action); }
std::optional<CleanAction> fromRaw(std::string_view raw) { return valueOf(actionNames, raw); }
}  // namespace CleanActions

void to_json(json& document, const Risk& risk) { document = std::string(Risks::rawValue(risk)); }

void from_json(const json& document, Risk& risk) {
    auto raw = document.get<std::string>();
    auto value = Risks::fromRaw(raw);
    if (!value) throw std::invalid_argument("unknown risk: " + raw);
    risk = *value;
}

void to_json(json& document, const CleanAction& action) { document = std::string(CleanActions::rawValue(action)); }

void from_json(const json& document, CleanAction& action) {
    auto raw = document.get<std::string>();
    auto value = CleanActions::fromRaw(raw);
    if (!value) throw std::invalid_argument("unknown action: " + raw);
    action = *value;
}

SuggestionItem::SuggestionItem(std::string path, int64_t bytes, std::optional<std::string> note)
    : path(std::move(path)), bytes(bytes), size(Fmt::bytes(bytes)), note(std::move(note)) {}

Suggestion::Suggestion(std::string id, std::string category, std::string title, std::string detail,
                       std::vector<std::string> paths, int64_t bytes, Risk risk, CleanAction action,
                       std::optional<std::string> command, std::optional<std::vector<SuggestionItem>> items)
    : id(std::move(id)),
      category(std::move(category)),
      title(std::move(title)),
      detail(std::move(detail)),
      paths(std::move(paths)),
      reclaimableBytes(bytes),
      reclaimable(Fmt::bytes(bytes)),
      risk(risk),
      action(action),
      autoApplicable(risk != Risk::caution && (action == CleanAction::trash || action == CleanAction::trashContents ||
                                               action == CleanAction::emptyTrash)),
      command(std::move(command)),
      items(std::move(items)) {}

namespace {

constexpr auto itemFields = JSONCoding::fields(
    JSONCoding::field("path", &SuggestionItem::path), JSONCoding::field("bytes", &SuggestionItem::bytes),
    JSONCoding::field("size", &SuggestionItem::size), JSONCoding::field("note", &SuggestionItem::note));

// The derived fields (reclaimable, autoApplicable) are read as they stand.
constexpr auto suggestionFields = JSONCoding::fields(
    JSONCoding::field("id", &Suggestion::id), JSONCoding::field("category", &Suggestion::category),
    JSONCoding::field("title", &Suggestion::title), JSONCoding::field("detail", &Suggestion::detail),
    JSONCoding::field("paths", &Suggestion::paths),
    JSONCoding::field("reclaimableBytes", &Suggestion::reclaimableBytes),
    JSONCoding::field("reclaimable", &Suggestion::reclaimable), JSONCoding::field("risk", &Suggestion::risk),
    JSONCoding::field("action", &Suggestion::action), JSONCoding::field("autoApplicable", &Suggestion::autoApplicable),
    JSONCoding::field("command", &Suggestion::command), JSONCoding::field("items", &Suggestion::items));

constexpr auto reportFields = JSONCoding::fields(
    JSONCoding::field("generatedAt", &SuggestionReport::generatedAt),
    JSONCoding::field("mode", &SuggestionReport::mode),
    JSONCoding::field("totalReclaimableBytes", &SuggestionReport::totalReclaimableBytes),
    JSONCoding::field("totalReclaimable", &SuggestionReport::totalReclaimable),
    JSONCoding::field("safeReclaimableBytes", &SuggestionReport::safeReclaimableBytes),
    JSONCoding::field("safeReclaimable", &SuggestionReport::safeReclaimable),
    JSONCoding::field("suggestions", &SuggestionReport::suggestions),
    JSONCoding::field("notes", &SuggestionReport::notes));

}  // namespace

void to_json(json& document, const SuggestionItem& item) { JSONCoding::write(document, item, itemFields); }
void from_json(const json& document, SuggestionItem& item) { JSONCoding::read(document, item, itemFields); }
void to_json(json& document, const Suggestion& suggestion) {
    JSONCoding::write(document, suggestion, suggestionFields);
}
void from_json(const json& document, Suggestion& suggestion) {
    JSONCoding::read(document, suggestion, suggestionFields);
}
void to_json(json& document, const SuggestionReport& report) { JSONCoding::write(document, report, reportFields); }
void from_json(const json& document, SuggestionReport& report) { JSONCoding::read(document, report, reportFields); }
