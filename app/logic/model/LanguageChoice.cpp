#include "model/LanguageChoice.hpp"

#include "platform/Platform.hpp"
#include "text/Localization.hpp"

namespace LanguageChoices {

const std::vector<LanguageChoice>& all() {
    static const std::vector<LanguageChoice> choices{LanguageChoice::system, LanguageChoice::english,
                                                     LanguageChoice::chinese};
    return choices;
}

std::string title(LanguageChoice choice) {
    switch (choice) {
    case LanguageChoice::english: return "English";
    case LanguageChoice::chinese: return "简体中文";
    case LanguageChoice::system: break;
    }
    return L("跟随系统");
}

LanguageChoice saved() {
    const auto stored = UserDefaults::value(key);
    if (!stored || !stored->is_array() || stored->empty()) return LanguageChoice::system;
    for (const auto& entry : *stored)
        if (!entry.is_string()) return LanguageChoice::system;
    return stored->front().get<std::string>().starts_with("zh") ? LanguageChoice::chinese : LanguageChoice::english;
}

std::optional<LanguageChoice> forced() {
    const std::optional<Lang> lang = Langs::forcedByEnvironment();
    if (!lang) return std::nullopt;
    return *lang == Lang::zh ? LanguageChoice::chinese : LanguageChoice::english;
}

LanguageChoice shown() { return forced().value_or(saved()); }

void save(LanguageChoice choice) {
    switch (choice) {
    case LanguageChoice::system: UserDefaults::remove(key); break;
    case LanguageChoice::english: UserDefaults::set(key, nlohmann::json::array({"en"})); break;
    case LanguageChoice::chinese: UserDefaults::set(key, nlohmann::json::array({"zh-Hans"})); break;
    }
}

}  // namespace LanguageChoices
