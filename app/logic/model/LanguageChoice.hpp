// The interface language the user picked, kept in the defaults file. The
// running process never changes language; a new choice applies at the next start.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Language.hpp"

enum class LanguageChoice { system, english, chinese };

namespace LanguageChoices {
/// The defaults key the choice is stored under.
inline constexpr const char* key = Langs::choiceKey;
/// The three choices in menu order.
const std::vector<LanguageChoice>& all();
/// The menu title: "English" and "简体中文" verbatim, the system item localised.
std::string title(LanguageChoice choice);
/// The stored choice. Only the application's own defaults file counts (the
/// environment's languages never read as a choice); no key, a value that is
/// not a list of texts or an empty list is `system`; otherwise a first entry
/// beginning with "zh" is `chinese` and any other code `english`.
LanguageChoice saved();
/// The language OSTREVANE_LANG fixes for every start while it is set
/// (`english` or `chinese`); none when it is unset or empty.
std::optional<LanguageChoice> forced();
/// The choice the menu checks: the forced one, else the stored one.
LanguageChoice shown();
/// Stores `choice`: `system` removes the key, `english` writes ["en"],
/// `chinese` ["zh-Hans"]. Throws when the defaults file cannot be written.
void save(LanguageChoice choice);
}  // namespace LanguageChoices
