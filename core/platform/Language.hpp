// The language the system speaks in, decided once per process from the
// environment, the application's stored choice and the user's locale.
#pragma once

#include <optional>
#include <string_view>

enum class Lang { zh, en };

namespace Langs {
/// The defaults key the application stores the chosen language under, which
/// the tool follows too.
inline constexpr const char* choiceKey = "AppleLanguages";
std::optional<Lang> fromRaw(std::string_view raw);
std::string_view rawValue(Lang lang);
/// The process's language, decided once on first use.
Lang current();
/// The language OSTREVANE_LANG fixes, read afresh: a value beginning with
/// "zh" (any case) is Chinese, any other non-empty value English; none when
/// the variable is unset or empty, so the stored choice and the system decide.
std::optional<Lang> forcedByEnvironment();
}  // namespace Langs

namespace Langs::detail {
/// The language as the environment and the stored choice decide it now;
/// Langs::current keeps the first answer.
Lang decideLanguage();
}  // namespace Langs::detail
