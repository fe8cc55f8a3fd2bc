#include "SuggestionTypes.hpp"

#include <array>
#include <utility>

#include "base/JSONFields.hpp"

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

void to_json(json& document, const SuggestionItem& item) {
    document = json::object();
    document["path"] = item.path;
    document["bytes"] = item.bytes;
    document["size"] = item.size;
    JSONOut::putOptional(document, "note", item.note);
}

void from_json(const json& document, SuggestionItem& item) {
    item.path = document.at("path").get<std::string>();
    item.bytes = JSONFields::integer(document.at("bytes"), "bytes");
    item.size = document.at("size").get<std::string>();
    JSONOut::getOptional(document, "note", item.note);
}

void to_json(json& document, const Suggestion& suggestion) {
    document = json::object();
    document["id"] = suggestion.id;
    document["category"] = suggestion.category;
    document["title"] = suggestion.title;
    document["detail"] = suggestion.detail;
    document["paths"] = suggestion.paths;
    document["reclaimableBytes"] = suggestion.reclaimableBytes;
    document["reclaimable"] = suggestion.reclaimable;
    document["risk"] = suggestion.risk;
    document["action"] = suggestion.action;
    document["autoApplicable"] = suggestion.autoApplicable;
    JSONOut::putOptional(document, "command", suggestion.command);
    JSONOut::putOptional(document, "items", suggestion.items);
}

void from_json(const json& document, Suggestion& suggestion) {
    suggestion.id = document.at("id").get<std::string>();
    suggestion.category = document.at("category").get<std::string>();
    suggestion.title = document.at("title").get<std::string>();
    suggestion.detail = document.at("detail").get<std::string>();
    suggestion.paths = document.at("paths").get<std::vector<std::string>>();
    suggestion.reclaimableBytes = JSONFields::integer(document.at("reclaimableBytes"), "reclaimableBytes");
    suggestion.reclaimable = document.at("reclaimable").get<std::string>();
    suggestion.risk = document.at("risk").get<Risk>();
    suggestion.action = document.at("action").get<CleanAction>();
    suggestion.autoApplicable = document.at("autoApplicable").get<bool>();
    JSONOut::getOptional(document, "command", suggestion.command);
    JSONOut::getOptional(document, "items", suggestion.items);
}

void to_json(json& document, const SuggestionReport& report) {
    document = json::object();
    document["generatedAt"] = report.generatedAt;
    document["mode"] = report.mode;
    document["totalReclaimableBytes"] = report.totalReclaimableBytes;
    document["totalReclaimable"] = report.totalReclaimable;
    document["safeReclaimableBytes"] = report.safeReclaimableBytes;
    document["safeReclaimable"] = report.safeReclaimable;
    document["suggestions"] = report.suggestions;
    document["notes"] = report.notes;
}

void from_json(const json& document, SuggestionReport& report) {
    report.generatedAt = document.at("generatedAt").get<Date>();
    report.mode = document.at("mode").get<std::string>();
    report.totalReclaimableBytes = JSONFields::integer(document.at("totalReclaimableBytes"), "totalReclaimableBytes");
    report.totalReclaimable = document.at("totalReclaimable").get<std::string>();
    report.safeReclaimableBytes = JSONFields::integer(document.at("safeReclaimableBytes"), "safeReclaimableBytes");
    report.safeReclaimable = document.at("safeReclaimable").get<std::string>();
    report.suggestions = document.at("suggestions").get<std::vector<Suggestion>>();
    report.notes = document.at("notes").get<std::vector<std::string>>();
}
