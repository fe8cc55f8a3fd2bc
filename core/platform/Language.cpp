#include "platform/Language.hpp"

#include <algorithm>
#include <string>

#include "base/Text.hpp"
#include "platform/Platform.hpp"

namespace {
Lang languageOf(std::string_view tag) { return tag.starts_with("zh") ? Lang::zh : Lang::en; }

}  // namespace

namespace Langs::detail {
Lang decideLanguage() {
    if (auto forced = Langs::forcedByEnvironment()) return *forced;
    // The application's stored choice, so the tool follows the application.
    if (auto stored = UserDefaults::value(Langs::choiceKey);
        stored && stored->is_array() && !stored->empty() && stored->front().is_string())
        return languageOf(stored->front().get<std::string>());
    for (const auto& preferred : Platform::preferredLanguages()) {
        if (preferred.starts_with("zh")) return Lang::zh;
        if (preferred.starts_with("en")) return Lang::en;
    }
    return Lang::en;
}
}  // namespace Langs::detail

namespace Langs {

std::optional<Lang> fromRaw(std::string_view raw) {
    if (raw == "zh") return Lang::zh;
    if (raw == "en") return Lang::en;
    return std::nullopt;
}

std::string_view rawValue(Lang lang) { return lang == Lang::zh ? "zh" : "en"; }

std::optional<Lang> forcedByEnvironment() {
    auto forced = Platform::environment("OSTREVANE_LANG");
    if (!forced || forced->empty()) return std::nullopt;
    return languageOf(Text::lowercased(*forced));
}

Lang current() { return Platform::Hooks::active().language(); }

}  // namespace Langs
